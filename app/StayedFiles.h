#pragma once
// Files an uninstall could not delete, mostly because a program that is
// still running holds them open. They are not lost track of: each is kept
// at the final path of the folder the walk held when it failed, scheduled
// for removal at the next restart where that is safe, and named to the user.
#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace qv {

class StayedFiles {
public:
    StayedFiles();

    // Notes that `name` in the folder open as `folder` could not be
    // deleted. The program's own file is not noted: the batch that runs
    // after it removes it.
    void Add(HANDLE folder, std::wstring_view name);
    // Schedules the files noted since the last call that lie below the
    // folder open as `root`, and their folders up to and including root,
    // for removal at the next restart. Only when no one but administrators
    // can change root or its parent: the system deletes by name, as SYSTEM,
    // and a folder others could change could by then lead elsewhere.
    void ScheduleBelow(HANDLE root);

    const std::vector<std::wstring>& Paths() const { return paths_; }
    // How many of Paths() are scheduled for removal at the next restart.
    int Scheduled() const { return scheduled_; }
    void Clear();

private:
    std::wstring ownProgram_;
    std::vector<std::wstring> paths_;
    size_t pending_ = 0;  // first of paths_ not yet offered to ScheduleBelow
    int scheduled_ = 0;
};

// The names (last path component) of the first `most` paths, one per line,
// and the programs that hold any of them open where the system can tell.
std::wstring DescribeStayed(const std::vector<std::wstring>& paths, size_t most);

}  // namespace qv
