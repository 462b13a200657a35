// The HTTP client against hostile answers, and the elevated program against
// files planted beside it. The test command runs it small (3 s deadline,
// small bombs); tools/reliability.sh runs it at full size (the 30 s default
// deadline, 16 and 64 MiB bombs) and collects the figures.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ReliabilityUtil.h"
#include "base/QvNet.h"
#include "base/QvTrustSeam.h"
#include "base/QvUtil.h"
#include "base/QvZlib.h"
#include "support/Planted.h"
#include "support/ReportServer.h"
#include "support/TestUtil.h"

using reliability::Figure;

namespace {

qvtest::ReportServer g_server;

// One call, timed. `hung` when it outlasted its deadline by half a minute:
// nothing in the client may wait that long.
struct Outcome {
    int result = -1;
    int length = 0;
    DWORD ms = 0;
    bool hung = false;
};

struct Job {
    std::wstring url;
    bool post = false;
    std::vector<char> reply;
    Outcome out;
};

DWORD WINAPI RunJob(void* param) {
    auto* job = static_cast<Job*>(param);
    DWORD start = ::GetTickCount();
    char* buf = job->reply.data();
    int size = static_cast<int>(job->reply.size());
    job->out.result = job->post ? CQvNet::Instance().Post(job->url.c_str(), buf, 0, buf, size)
                                : GetUrlInfo(job->url.c_str(), buf, size);
    job->out.length = CQvNet::Instance().GetInfoLen();
    job->out.ms = ::GetTickCount() - start;
    return 0;
}

// Runs the jobs at once, each on its own thread, and waits for them; a job
// still running at the bound counts as hung (its thread is left behind).
void RunAll(std::vector<Job>& jobs, DWORD deadline) {
    std::vector<HANDLE> threads;
    for (Job& job : jobs) threads.push_back(::CreateThread(nullptr, 0, &RunJob, &job, 0, nullptr));
    const DWORD bound = deadline + 30000;
    DWORD start = ::GetTickCount();
    for (size_t i = 0; i < jobs.size(); ++i) {
        DWORD spent = ::GetTickCount() - start;
        DWORD left = spent < bound ? bound - spent : 0;
        if (!threads[i] || ::WaitForSingleObject(threads[i], left) != WAIT_OBJECT_0)
            jobs[i].out.hung = true;
        if (threads[i]) ::CloseHandle(threads[i]);
    }
}

// The slowest call that ended, and how many did not.
struct Tally {
    long hung = 0;
    DWORD slowest = 0;
    explicit Tally(const std::vector<Job>& jobs) {
        for (const Job& job : jobs) {
            hung += job.out.hung;
            if (!job.out.hung && job.out.ms > slowest) slowest = job.out.ms;
        }
    }
};

std::wstring Marker() {
    static LONG n = 0;
    return std::to_wstring(::GetCurrentProcessId()) + L"-" +
           std::to_wstring(::InterlockedIncrement(&n));
}

std::string Seconds(long ms) {
    char buf[32];
    std::snprintf(buf, sizeof(buf), "%.2f s", ms / 1000.0);
    return buf;
}

class HostileHttp : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(g_server.Load()) << g_server.error();
        deadline_ = reliability::Full() ? 30000 : 3000;
        CQvNet::Instance().SetDeadline(static_cast<int>(deadline_));
    }
    void TearDown() override { CQvNet::Instance().SetDeadline(0); }
    DWORD deadline_ = 0;
};

}  // namespace

// Servers that stall once the request is out, lie about their length,
// answer garbage or point elsewhere: every call ends by its deadline, a
// stalled one as a failure, and nothing is fetched from elsewhere.
TEST_F(HostileHttp, R17_HostileAnswersEndByTheDeadline) {
    const int runs = reliability::Full() ? 3 : 1;
    struct Way {
        const char* row;
        const char* listener;
        const wchar_t* path;
        bool mustFail;
    };
    const Way ways[] = {{"R17 hostile HTTP: silence", "silent", L"/r17/silent", true},
                        {"R17 hostile HTTP: trickle", "trickle", L"/r17/trickle", true},
                        {"R17 hostile HTTP: lying length", "short", L"/r17/short", true},
                        {"R17 hostile HTTP: garbage", "garbage", L"/r17/garbage", false},
                        {"R17 hostile HTTP: redirect elsewhere", "redirect", L"/r17/redir", false}};
    for (const Way& way : ways) {
        std::vector<Job> jobs(static_cast<size_t>(2 * runs));
        std::vector<std::wstring> markers;
        for (size_t i = 0; i < jobs.size(); ++i) {
            markers.push_back(Marker());
            jobs[i].url = g_server.Url(way.listener, std::wstring(way.path) + L"?id=" + markers[i]);
            jobs[i].post = i % 2 == 1;
            jobs[i].reply.assign(4096, 'x');
        }
        RunAll(jobs, deadline_);
        const Tally t(jobs);
        const long hung = t.hung, slowest = static_cast<long>(t.slowest);
        long failed = 0;
        for (const Job& job : jobs) failed += job.out.result == 0;
        EXPECT_EQ(0, hung) << way.row;
        if (way.mustFail) EXPECT_EQ(static_cast<long>(jobs.size()), failed) << way.row;
        std::string note = "ended within " + Seconds(slowest) + " (deadline " +
                           Seconds(static_cast<long>(deadline_)) + "), " + std::to_string(failed) + " failed, " +
                           std::to_string(hung) + " hangs";
        if (std::string(way.listener) == "redirect") {
            // A followed redirect would show at the normal listener.
            long followed = 0;
            for (const auto& r : g_server.Records())
                for (const std::wstring& m : markers)
                    if (r.target.find("/redirected/") != std::string::npos &&
                        r.target.find(std::string(m.begin(), m.end())) != std::string::npos)
                        ++followed;
            EXPECT_EQ(0, followed);
            note += ", " + std::to_string(followed) + " followed";
        }
        Figure(way.row, static_cast<long>(jobs.size()), hung, 0, note);
    }
}

// gzip bombs: the reply inflates only into the caller's 64 KiB, at once;
// the allocating form takes the whole bomb in one growing buffer.
TEST_F(HostileHttp, R17_GzipBombsInflateOnlyIntoTheBuffer) {
    const int sizes[] = {reliability::Full() ? 16 : 1, reliability::Full() ? 64 : 4};
    for (int mib : sizes) {
        std::vector<Job> jobs(2);
        for (size_t i = 0; i < jobs.size(); ++i) {
            jobs[i].url = g_server.Url("bomb", L"/r17/bomb?qv-mib=" + std::to_wstring(mib) +
                                                   L"&id=" + Marker());
            jobs[i].post = i == 1;
            jobs[i].reply.assign(65536, 'x');
        }
        RunAll(jobs, deadline_);
        const Tally t(jobs);
        const long hung = t.hung, slowest = static_cast<long>(t.slowest);
        long whole = 0;
        for (const Job& job : jobs) whole += job.out.result == 1 && job.out.length == 65535;
        EXPECT_EQ(0, hung);
        EXPECT_EQ(2, whole) << mib << " MiB";
        Figure(("R17 hostile HTTP: gzip bomb " + std::to_string(mib) + " MiB").c_str(), 2, hung,
               0,
               "64 KiB reply within " + Seconds(slowest) + ", " + std::to_string(whole) +
                   "/2 filled, " + std::to_string(hung) + " hangs");
    }
}

// An elevated program with zlib1.dll and proxy.dat planted in a folder that
// everyone may write loads neither.
TEST(PlantedFiles, R18_NothingPlantedBesideAnElevatedProgramIsLoaded) {
    qvtest::ReportServer server;
    ASSERT_TRUE(server.Load()) << server.error();
    qvtest::TempDir dir(L"qvr18");
    std::wstring folder = qvtest::PlantZlib(dir);
    ASSERT_FALSE(folder.empty());
    qv::ScopedModule product = qvtest::LoadProductModule(folder);
    ASSERT_TRUE(product);
    long loaded = 0, runs = 0;
    qv::seam::SetElevated(1);
    {
        CQvZlib planted;
        ++runs;
        loaded += planted.InitZlib((folder + L"product.dll").c_str()) == S_OK;
    }
    // proxy.dat is read from the program's own folder: one that everyone
    // may rewrite.
    ASSERT_TRUE(qvtest::LoadPlantedProxy(server.Port("proxy"), L"planted", L"planted",
                                         L"D:(A;;FA;;;BA)(A;;FA;;;WD)"));
    char reply[100] = {};
    ++runs;
    GetUrlInfo(server.Url("normal", L"/r18/planted?id=" + Marker()).c_str(), reply, sizeof(reply));
    loaded += std::strcmp(reply, "ok") != 0;  // "proxied", or nothing at all
    qv::seam::SetElevated(0);
    CQvNet::Instance().LoadProxyConfig();
    EXPECT_EQ(0, loaded);
    Figure("R18 planted zlib1.dll and proxy.dat", runs, 0, 0,
           std::to_string(loaded) + " loaded, folder writable by everyone, elevated");
}
