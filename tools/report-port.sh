# The local report server's port for the demo and the end-to-end tests, and
# the port that tools/build.sh builds the program to report to (QV_REPORT_PORT
# overrides it, for two checkouts tested side by side). Sourced.
QV_REPORT_PORT=${QV_REPORT_PORT:-28765}
