#pragma once
// Usage reports: one HTTP GET per event, sent from a thread of its own and
// never waited for. The server's answer is ignored.
#include <windows.h>
#include "base/QvExport.h"

// Handed from DoReport to its thread, which frees it.
struct tagReportInfo {
    wchar_t url[200];     // report page, without a query
    wchar_t type[30];     // event type, at most 29 characters
    wchar_t value[1024];  // event value (at most 99 characters), escaped in place
};

// Sends "<url>?type=<type>&value=<value>&uuid=<machine id>&sign=<ticks>".
// Returns at once; nothing is sent when `url` or `type` is missing or too
// long. A value of 100 characters or more is sent empty.
QV_API void DoReport(const wchar_t* url, const wchar_t* type, const wchar_t* value);
QV_API DWORD WINAPI ReportThread(void* request);

// The report server's addresses: "http://<host>/report.asp" for usage
// reports and "http://<host>/api.ashx" for crash reports, into buffers of
// 200 units. The host is the one SetReportHost named last, else the
// framework's built-in QV_REPORT_HOST ("report.invalid" in an installed
// package, which resolves nowhere).
QV_API void GetReportUrl(wchar_t* out);
QV_API void GetCrashUrl(wchar_t* out);

// Names this program's report server, "host" or "host:port": a product
// calls it once at start, before anything reports. Null or "" goes back to
// the built-in host. A host of 128 units or more is refused (false) and
// the built-in one used, so that nothing goes to a cut-off name.
QV_API bool SetReportHost(const wchar_t* host);
