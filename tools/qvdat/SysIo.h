#pragma once
// The few places where Linux and Windows differ for the tool: arguments,
// file names and console output. Paths and text are UTF-8 throughout.
#include <string>
#include <vector>

int QvdatMain(const std::vector<std::string>& args);

namespace qvdat {

// "-" reads standard input.
bool ReadAll(const std::string& path, std::string* out);
// Writes the whole file or, on failure, removes what was written.
bool WriteAll(const std::string& path, const std::string& bytes);
void PrintOutput(const std::string& utf8);
void PrintError(const std::string& utf8);

}  // namespace qvdat
