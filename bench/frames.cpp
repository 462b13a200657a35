// How long the main dialog takes to compose and present one frame: the
// question as the pointer moves on and off "卸 载", and the progress at
// every step of the animation. Prints "question=<ms> progress=<ms>", each
// the median of whole WM_PAINTs (compose, then present what changed), and
// the compose times alone; "first=<ms>" is the first frame, sent whole.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/MainDlg.h"
#include "ui/QvApp.h"
#include "ui/QvButton.h"
#include "ui/QvBase.h"
#include "ui/QvDC.h"

namespace {

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <typename F>
std::vector<double> Times(int rounds, F frame) {
    LARGE_INTEGER freq, t0, t1;
    ::QueryPerformanceFrequency(&freq);
    std::vector<double> ms;
    for (int i = 0; i < rounds; ++i) {
        ::QueryPerformanceCounter(&t0);
        frame(i);
        ::QueryPerformanceCounter(&t1);
        ms.push_back((t1.QuadPart - t0.QuadPart) * 1000.0 / freq.QuadPart);
    }
    return ms;
}

}  // namespace

int wmain() {
    CQvApp::Instance().SetAppName(L"QvBenchFrames");
    CMainDlg dlg;
    if (!dlg.Create(0, 0, 450, 230, 0, true, nullptr, 0)) return 1;
    dlg.productName = L"塔洛看图";
    dlg.ShowDlg(QV_EFFECT_NONE, true, SW_SHOWNA);
    auto paint = [&](int) { ::SendMessageW(dlg.hwnd, WM_PAINT, 0, 0); };
    // Composing alone, into a buffer of the window's size.
    HDC wdc = ::GetDC(dlg.hwnd);
    RECT rc{0, 0, 450, 230};
    auto compose = [&](int) {
        CQvDC buffer(wdc, rc, false, true, dlg.hwnd);
        dlg.DrawBackground(buffer.memDC, rc);
        dlg.DrawContent(buffer.memDC);
        if (!dlg.inputSuspended)
            for (CQvBase* c : dlg.controls) c->Paint(buffer.memDC);
    };
    const double first = Times(1, paint)[0];
    const int rounds = 60;
    // Each question frame differs from the last: the button lights up or not.
    auto hover = [&](int i) {
        dlg.uninstallButton->state = (i % 2) ? QV_BTN_HOVER : QV_BTN_NORMAL;
    };
    double question = Median(Times(rounds, [&](int i) {
        hover(i);
        paint(i);
    }));
    double questionCompose = Median(Times(rounds, [&](int i) {
        hover(i);
        compose(i);
    }));
    dlg.mode = 1;
    dlg.inputSuspended = true;
    double progress = Median(Times(rounds, [&](int i) {
        dlg.shownPercent = (i % 11) * 10;
        paint(i);
    }));
    double progressCompose = Median(Times(rounds, [&](int i) {
        dlg.shownPercent = (i % 11) * 10;
        compose(i);
    }));
    ::ReleaseDC(dlg.hwnd, wdc);
    std::printf(
        "question=%.2f progress=%.2f question_compose=%.2f progress_compose=%.2f first=%.2f\n",
        question, progress, questionCompose, progressCompose, first);
    return 0;
}
