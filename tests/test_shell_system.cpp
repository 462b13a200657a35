// Certificates, signatures, kernel-driver services, file-type and protocol
// registration, and sound.
#include <gtest/gtest.h>

#include <windows.h>

#include <mmsystem.h>
#include <wincrypt.h>

#include <string>
#include <vector>

#include "base/QvScoped.h"
#include "base/QvShell.h"
#include "base/QvShellScoped.h"
#include "base/QvUtil.h"
#include "support/TestUtil.h"

namespace {

std::wstring Unique(const wchar_t* tag) {
    return tag + std::to_wstring(::GetCurrentProcessId()) + L"x" + std::to_wstring(::GetTickCount());
}

std::wstring BinFile(const wchar_t* name) {
    std::wstring self = qvtest::SelfPath();
    return self.substr(0, self.rfind(L'\\') + 1) + name;
}

// A self-signed DER certificate for "CN=<name>", made with a throw-away key.
std::vector<BYTE> MakeCertificate(const std::wstring& name) {
    std::wstring x500 = L"CN=" + name;
    DWORD size = 0;
    if (!::CertStrToNameW(X509_ASN_ENCODING, x500.c_str(), CERT_X500_NAME_STR, nullptr, nullptr,
                          &size, nullptr)) {
        return {};
    }
    std::vector<BYTE> encoded(size);
    ::CertStrToNameW(X509_ASN_ENCODING, x500.c_str(), CERT_X500_NAME_STR, nullptr, encoded.data(),
                     &size, nullptr);
    HCRYPTPROV provider = 0;
    if (!::CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
        return {};
    }
    HCRYPTKEY key = 0;
    std::vector<BYTE> der;
    if (::CryptGenKey(provider, AT_SIGNATURE, (1024u << 16), &key)) {
        CERT_NAME_BLOB subject{size, encoded.data()};
        CRYPT_KEY_PROV_INFO keyInfo{};
        keyInfo.dwProvType = PROV_RSA_FULL;
        keyInfo.dwKeySpec = AT_SIGNATURE;
        keyInfo.dwFlags = 0;
        qv::ScopedCertContext cert(::CertCreateSelfSignCertificate(provider, &subject, 0, &keyInfo,
                                                                   nullptr, nullptr, nullptr,
                                                                   nullptr));
        if (cert) der.assign(cert.get()->pbCertEncoded, cert.get()->pbCertEncoded + cert.get()->cbCertEncoded);
        ::CryptDestroyKey(key);
    }
    ::CryptReleaseContext(provider, 0);
    return der;
}

qv::ScopedCertStore MachineRoot() {
    return qv::ScopedCertStore(::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                               CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root"));
}

// Copies of certificates whose subject holds `name` in the machine's roots;
// with `remove` they are deleted.
int MachineRootCopies(const std::wstring& name, bool remove = false) {
    qv::ScopedCertStore store = MachineRoot();
    std::vector<qv::ScopedCertContext> found;
    PCCERT_CONTEXT at = nullptr;
    while ((at = ::CertFindCertificateInStore(store.get(), X509_ASN_ENCODING, 0,
                                              CERT_FIND_SUBJECT_STR_W, name.c_str(), at))) {
        found.emplace_back(::CertDuplicateCertificateContext(at));
    }
    if (remove) {
        for (auto& cert : found) ::CertDeleteCertificateFromStore(cert.release());
    }
    return static_cast<int>(found.size());
}

}  // namespace

TEST(Certificates, ImportFindAndReplace) {
    std::wstring name = Unique(L"QvTest Root ");
    std::vector<BYTE> der = MakeCertificate(name);
    ASSERT_FALSE(der.empty());
    EXPECT_EQ(0, CertExists(name.c_str()));

    ASSERT_EQ(1, ImportCACert(der.data(), static_cast<int>(der.size())));
    EXPECT_EQ(1, CertExists(name.c_str()));
    EXPECT_EQ(1, CertExists(name.substr(7).c_str()));  // a part of the subject is enough
    EXPECT_EQ(1, MachineRootCopies(name));

    // Once more: replaced, not duplicated.
    EXPECT_EQ(1, ImportCACert(der.data(), static_cast<int>(der.size())));
    EXPECT_EQ(1, MachineRootCopies(name));

    MachineRootCopies(name, true);  // Wine's root store may keep it: tidy only
}

TEST(Certificates, ImportFromFile) {
    qvtest::TempDir dir(L"qvcert");
    std::wstring name = Unique(L"QvTest File ");
    std::vector<BYTE> der = MakeCertificate(name);
    ASSERT_FALSE(der.empty());
    std::wstring file = dir / L"root.cer";
    ASSERT_TRUE(qvtest::WriteFileBytes(file, der.data(), der.size()));
    ASSERT_EQ(1, ImportCertFile(file.c_str()));
    EXPECT_EQ(1, CertExists(name.c_str()));
    MachineRootCopies(name, true);

    std::wstring empty = dir / L"empty.cer";
    ASSERT_TRUE(qvtest::WriteFileBytes(empty, "", 0));
    EXPECT_EQ(0, ImportCertFile(empty.c_str()));
    std::wstring junk = dir / L"junk.cer";
    ASSERT_TRUE(qvtest::WriteFileBytes(junk, "not a certificate", 17));
    EXPECT_EQ(0, ImportCertFile(junk.c_str()));
    EXPECT_EQ(0, ImportCertFile((dir / L"missing.cer").c_str()));
    EXPECT_EQ(0, ImportCACert(der.data(), 0));
    EXPECT_EQ(0, ImportCACert(nullptr, 10));
    EXPECT_EQ(0, CertExists(nullptr));
}

TEST(Signatures, SignedProgramIsTrustedUntilChanged) {
    // Signed at build time with a certificate of its own, trusted here.
    std::wstring signedExe = BinFile(L"qvargs-signed.exe");
    ASSERT_EQ(1, ImportCertFile(BinFile(L"qvtestsign.cer").c_str()));
    EXPECT_EQ(1, VerifySignature(signedExe.c_str()));

    qvtest::TempDir dir(L"qvsign");
    std::wstring changed = dir / L"changed.exe";
    ASSERT_TRUE(::CopyFileW(signedExe.c_str(), changed.c_str(), FALSE));
    std::vector<BYTE> bytes(static_cast<size_t>(FileSize(changed.c_str())));
    DWORD size = static_cast<DWORD>(bytes.size());
    ASSERT_EQ(1, QvReadFile(changed.c_str(), bytes.data(), size));
    bytes[0x410] ^= 1;  // inside the code, which the signature covers
    ASSERT_EQ(1, QvWriteFile(changed.c_str(), bytes.data(), size));
    EXPECT_EQ(0, VerifySignature(changed.c_str()));
}

TEST(Signatures, UnsignedAndMissingFilesAreNotTrusted) {
    EXPECT_EQ(0, VerifySignature(qvtest::SelfPath().c_str()));
    EXPECT_EQ(0, VerifySignature(L"C:\\no\\such\\file.exe"));
    EXPECT_EQ(0, VerifySignature(nullptr));
}

TEST(Drivers, LoadAgainAndUnload) {
    std::wstring name = Unique(L"QvTestDrv");
    std::wstring sys = BinFile(L"qvtestdrv.sys");
    ASSERT_TRUE(qvtest::FileExists(sys));
    int loaded = LoadDrv(name.c_str(), sys.c_str());
    // Wine runs drivers of its own architecture; a 32-bit driver on a 64-bit
    // system may be refused, as Windows refuses it.
    if (!isWow64()) EXPECT_EQ(1, loaded);
    qv::ScopedService manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    ASSERT_TRUE(manager);
    {
        qv::ScopedService service(::OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_STATUS |
                                                 SERVICE_QUERY_CONFIG));
        ASSERT_TRUE(service);  // created whether or not it could start
        BYTE buffer[8192] = {};
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer);
        DWORD needed = 0;
        ASSERT_TRUE(::QueryServiceConfigW(service.get(), config, sizeof(buffer), &needed));
        EXPECT_EQ(static_cast<DWORD>(SERVICE_KERNEL_DRIVER), config->dwServiceType);
        EXPECT_EQ(static_cast<DWORD>(SERVICE_DEMAND_START), config->dwStartType);
        EXPECT_EQ(static_cast<DWORD>(SERVICE_ERROR_NORMAL), config->dwErrorControl);
        EXPECT_EQ(name, config->lpDisplayName);
        SERVICE_STATUS status{};
        ASSERT_TRUE(::QueryServiceStatus(service.get(), &status));
        EXPECT_EQ(loaded == 1, status.dwCurrentState == SERVICE_RUNNING) << status.dwCurrentState;
    }
    // Already there (and running when it started): opened, not created again.
    EXPECT_EQ(loaded, LoadDrv(name.c_str(), sys.c_str()));
    RecordProperty("driver_started", loaded);

    EXPECT_EQ(1, UnLoadDrv(name.c_str()));
    qv::ScopedService gone(::OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_STATUS));
    EXPECT_FALSE(gone);
    EXPECT_EQ(0, UnLoadDrv(name.c_str()));
    EXPECT_EQ(0, LoadDrv(nullptr, sys.c_str()));
}

namespace {

std::wstring ClassValue(const std::wstring& key, const wchar_t* name = nullptr) {
    wchar_t value[MAX_PATH] = {};
    DWORD bytes = sizeof(value) - sizeof(wchar_t);
    if (::RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value,
                       &bytes) != ERROR_SUCCESS) {
        return L"(none)";
    }
    return value;
}

bool ClassKeyExists(const std::wstring& key) {
    qv::ScopedKey handle;
    return ::RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, handle.put()) == ERROR_SUCCESS;
}

// Removes the keys a test registered, whatever happens in it.
struct ClassKeys {
    std::vector<std::wstring> keys;
    ~ClassKeys() {
        for (const auto& key : keys) ::RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
        for (const auto& key : keys) ::RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
    }
};

}  // namespace

TEST(Associations, FileTypeWrittenOnceAndReadBack) {
    std::wstring ext = L"." + Unique(L"qvt");
    std::wstring progId = Unique(L"QvTest.Document");
    ClassKeys cleanup{{ext, progId}};
    const wchar_t* exe = L"C:\\Program Files\\Qv Test\\viewer.exe";
    RegFileRelation(ext.c_str(), exe, progId.c_str(), L"C:\\Qv\\doc.ico,1", L"测试 document");
    EXPECT_EQ(progId, ClassValue(ext));
    EXPECT_EQ(L"测试 document", ClassValue(progId));
    EXPECT_EQ(L"C:\\Qv\\doc.ico,1", ClassValue(progId + L"\\DefaultIcon"));
    EXPECT_TRUE(ClassKeyExists(progId + L"\\Shell\\Open"));
    EXPECT_EQ(L"\"C:\\Program Files\\Qv Test\\viewer.exe\" \"%1\"",
              ClassValue(progId + L"\\Shell\\Open\\Command"));

    // Already ours (in any case): nothing is written again.
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetKeyValueW(HKEY_CLASSES_ROOT, progId.c_str(), nullptr, REG_SZ,
                                               L"edited", 14));
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, (progId + L"\\DefaultIcon").c_str());
    ::RegDeleteKeyW(HKEY_CLASSES_ROOT, (progId + L"\\DefaultIcon").c_str());
    std::wstring upper = progId;
    ::CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
    RegFileRelation(ext.c_str(), L"C:\\other.exe", upper.c_str(), L"x.ico", L"again");
    EXPECT_EQ(L"edited", ClassValue(progId));
    EXPECT_FALSE(ClassKeyExists(progId + L"\\DefaultIcon"));
    EXPECT_EQ(progId, ClassValue(ext));
}

TEST(Associations, ProtocolPointsIntoThisProgramsFolder) {
    std::wstring scheme = Unique(L"qvtest");
    ClassKeys cleanup{{scheme}};
    RegProtocol(scheme.c_str(), L"handler.exe");
    wchar_t folder[MAX_PATH] = {};
    GetCurPath(folder);
    std::wstring program = std::wstring(folder) + L"handler.exe";
    EXPECT_EQ(scheme + L"Protocol", ClassValue(scheme));
    EXPECT_EQ(program, ClassValue(scheme, L"URL Protocol"));
    EXPECT_EQ(program + L",0", ClassValue(scheme + L"\\DefaultIcon"));
    EXPECT_EQ(L"\"" + program + L"\" \"%1\"", ClassValue(scheme + L"\\shell\\open\\command"));
}

namespace {

// A short, silent PCM wave file.
std::vector<BYTE> WaveFile() {
    const DWORD samples = 800, rate = 8000;
    std::vector<BYTE> file(44 + samples, 0x80);
    auto put32 = [&](size_t at, DWORD v) { memcpy(&file[at], &v, 4); };
    auto put16 = [&](size_t at, WORD v) { memcpy(&file[at], &v, 2); };
    memcpy(&file[0], "RIFF", 4);
    put32(4, 36 + samples);
    memcpy(&file[8], "WAVEfmt ", 8);
    put32(16, 16);
    put16(20, 1);  // PCM
    put16(22, 1);  // mono
    put32(24, rate);
    put32(28, rate);
    put16(32, 1);
    put16(34, 8);
    memcpy(&file[36], "data", 4);
    put32(40, samples);
    return file;
}

std::wstring MusicMode() {
    wchar_t mode[64] = {};
    if (::mciSendStringW(L"status mymusic mode", mode, 64, nullptr) != 0) return L"(closed)";
    return mode;
}

}  // namespace

// Asynchronous playing reports only whether the sound was accepted; Wine
// accepts every request, so a missing resource cannot be told apart here.
TEST(Sound, WaveFilesAreNotReportedAsPlayed) {
    qvtest::TempDir dir(L"qv sound");
    std::vector<BYTE> wave = WaveFile();
    std::wstring file = dir / L"beep.wav";
    ASSERT_TRUE(qvtest::WriteFileBytes(file, wave.data(), wave.size()));
    EXPECT_EQ(0, PlayWav(file.c_str(), 0));
    EXPECT_EQ(0, PlayWav(nullptr, 1));
    ::PlaySoundW(nullptr, nullptr, 0);
}

TEST(Sound, MusicDeviceFollowsTheCommands) {
    qvtest::TempDir dir(L"qv music");
    std::vector<BYTE> wave = WaveFile();
    std::wstring file = dir / L"song.wav";
    ASSERT_TRUE(qvtest::WriteFileBytes(file, wave.data(), wave.size()));
    PlayMP3(file.c_str(), 1);
    std::wstring mode = MusicMode();
    EXPECT_NE(L"(closed)", mode);  // opened, despite the space in its path
    if (mode == L"playing") {
        PauseMP3(L"mymusic");
        EXPECT_EQ(L"paused", MusicMode());
        ResumeMP3(L"mymusic");
        EXPECT_EQ(L"playing", MusicMode());
    }
    StopMP3(L"mymusic");
    EXPECT_EQ(L"stopped", MusicMode());
    // A second song replaces the first instead of failing on the alias.
    PlayMP3(file.c_str(), 0);
    EXPECT_NE(L"(closed)", MusicMode());
    StopMP3(L"mymusic");
    ::mciSendStringW(L"close mymusic", nullptr, 0, nullptr);
}
