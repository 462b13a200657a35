#pragma once
// Seam for test rigs: what IsElevated answers. Wine may or may not report
// an elevated token, and the checks that only an elevated program makes
// must be tested either way. The product never calls it. Not exported, not
// installed.
namespace qv::seam {

// 1: elevated, 0: not elevated, -1: ask the process token (the default).
void SetElevated(int forced);

}  // namespace qv::seam
