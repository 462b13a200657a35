// libFuzzer target: the data-file reader that qvdat shares with the
// uninstaller's layout. Any bytes must decode without a fault, and what
// decodes and can be written again must read back as the same model.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "DatFile.h"

namespace {

bool Same(const qvdat::Record& a, const qvdat::Record& b) {
    return a.isFile == b.isFile && a.path == b.path;
}

bool Same(const qvdat::DatModel& a, const qvdat::DatModel& b) {
    auto sameList = [](const std::vector<qvdat::Record>& x, const std::vector<qvdat::Record>& y) {
        if (x.size() != y.size()) return false;
        for (size_t i = 0; i < x.size(); ++i)
            if (!Same(x[i], y[i])) return false;
        return true;
    };
    return a.regKey == b.regKey && a.product == b.product && a.startMenu == b.startMenu &&
           a.installDir == b.installDir && sameList(a.entries, b.entries) &&
           sameList(a.shortcuts, b.shortcuts);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    qvdat::DatModel model;
    std::vector<std::string> problems;
    if (!qvdat::Decode(bytes, &model, &problems)) return 0;
    // The records can never outnumber what the file holds.
    size_t records = model.entries.size() + model.shortcuts.size();
    if (records * qvdat::kRecordSize > size) std::abort();

    std::string again;
    std::vector<std::string> errors;
    if (!qvdat::Encode(model, &again, &errors)) return 0;
    qvdat::DatModel back;
    std::vector<std::string> backProblems;
    if (!qvdat::Decode(again, &back, &backProblems) || !Same(model, back) || !backProblems.empty())
        std::abort();
    return 0;
}
