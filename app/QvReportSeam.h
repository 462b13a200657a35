#pragma once
// Seam for test rigs: where the usage and crash reports go. The product never
// calls it (its host is fixed at build time, QV_REPORT_HOST); the tests point
// the reports at their local server with it. Not exported, not installed.
namespace qv::seam {

// Later reports go to "host" or "host:port"; null (or a host of 128 units
// or more) goes back to the built-in one.
void SetReportHost(const wchar_t* host);

}  // namespace qv::seam
