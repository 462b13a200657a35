// qvdat: writes "qvUninstall.dat" from a manifest, and shows a data file as
// a manifest. Product installers call it at build or install time.
#include <cstdio>
#include <string>
#include <vector>

#include "DatFile.h"
#include "Manifest.h"
#include "SysIo.h"

namespace {

const char kUsage[] =
    "usage: qvdat write MANIFEST OUTPUT   write a data file (MANIFEST \"-\": standard input)\n"
    "       qvdat show DATAFILE           print a data file as a manifest\n";

int Fail(const std::vector<std::string>& reasons) {
    for (const std::string& r : reasons) qvdat::PrintError("qvdat: " + r + "\n");
    return 1;
}

int Write(const std::string& manifestPath, const std::string& outPath) {
    std::string text;
    if (!qvdat::ReadAll(manifestPath, &text)) return Fail({"cannot read " + manifestPath});
    qvdat::DatModel model;
    std::vector<std::string> errors;
    std::string bytes;
    if (!qvdat::ParseManifest(text, &model, &errors) || !qvdat::Encode(model, &bytes, &errors))
        return Fail(errors);
    if (!qvdat::WriteAll(outPath, bytes)) return Fail({"cannot write " + outPath});
    return 0;
}

int Show(const std::string& path) {
    std::string bytes;
    if (!qvdat::ReadAll(path, &bytes)) return Fail({"cannot read " + path});
    qvdat::DatModel model;
    std::vector<std::string> problems;
    if (!qvdat::Decode(bytes, &model, &problems)) return Fail(problems);
    qvdat::PrintOutput(qvdat::PrintManifest(model, &problems));
    return problems.empty() ? 0 : Fail(problems);
}

}  // namespace

int QvdatMain(const std::vector<std::string>& args) {
    if (args.size() == 4 && args[1] == "write") return Write(args[2], args[3]);
    if (args.size() == 3 && args[1] == "show") return Show(args[2]);
    if (args.size() == 2 && (args[1] == "--help" || args[1] == "-h")) {
        qvdat::PrintOutput(kUsage);
        return 0;
    }
    qvdat::PrintError(kUsage);
    return 2;
}
