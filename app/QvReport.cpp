#include "app/QvReport.h"
#include "base/QvScoped.h"

#include <cstdio>
#include <cwchar>
#include <iterator>
#include <new>

#include "base/QvNet.h"
#include "base/QvUtil.h"
#include "ui/QvFirstFrame.h"

namespace {

// Host override; empty means QV_REPORT_HOST.
SRWLOCK g_hostLock = SRWLOCK_INIT;
wchar_t g_host[128] = {};

void BuildUrl(const wchar_t* page, wchar_t* out) {
    ::AcquireSRWLockShared(&g_hostLock);
    _snwprintf(out, 199, L"http://%ls%ls", g_host[0] ? g_host : QV_REPORT_HOST, page);
    ::ReleaseSRWLockShared(&g_hostLock);
    out[199] = L'\0';
}

}  // namespace

bool SetReportHost(const wchar_t* host) {
    const bool fits = !host || std::wcslen(host) < std::size(g_host);
    ::AcquireSRWLockExclusive(&g_hostLock);
    if (host && fits)
        std::wcscpy(g_host, host);
    else
        g_host[0] = L'\0';
    ::ReleaseSRWLockExclusive(&g_hostLock);
    return fits;
}

void GetReportUrl(wchar_t* out) {
    BuildUrl(L"/report.asp", out);
}

void GetCrashUrl(wchar_t* out) {
    BuildUrl(L"/api.ashx", out);
}

void DoReport(const wchar_t* url, const wchar_t* type, const wchar_t* value) {
    if (!url || !type) return;
    // Fields that do not fit are refused rather than cut: a cut address or
    // type would report to the wrong place or as the wrong event.
    if (std::wcslen(type) >= std::size(tagReportInfo{}.type)) return;
    if (std::wcslen(url) >= std::size(tagReportInfo{}.url)) return;
    auto* request = new (std::nothrow) tagReportInfo{};  // zero-filled
    if (!request) return;
    std::wcscpy(request->url, url);
    std::wcscpy(request->type, type);
    if (value && std::wcslen(value) < 100) std::wcscpy(request->value, value);
    // Never waited for: the handle is only closed.
    qv::ScopedHandle thread(::CreateThread(nullptr, 0, &ReportThread, request, 0, nullptr));
    if (!thread) delete request;
}

DWORD WINAPI ReportThread(void* param) {
    auto* request = static_cast<tagReportInfo*>(param);
    if (!request) return 0;
    // The network stack (WinINet and what it loads) is not needed for the
    // first frame: a report sent while the window is coming up waits for
    // it, at most this long.
    constexpr DWORD kFirstFrameWaitMs = 2000;
    qv::AwaitFirstFrame(kFirstFrameWaitMs);
    URLEncode(request->value);  // leaves the text as it was when it would not fit
    wchar_t uid[50] = {};
    CreateUID(uid, 1);
    wchar_t query[1024];
    _snwprintf(query, 1023, L"%ls?type=%ls&value=%ls&uuid=%ls&sign=%d", request->url,
               request->type, request->value, uid, static_cast<int>(::GetTickCount()));
    query[1023] = L'\0';
    char reply[50];
    CQvNet::Instance().GetUrlInfo(query, reply, sizeof(reply));
    delete request;
    return 0;
}
