// Authenticode checks and trusted root certificates.
#include "base/QvShell.h"

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include "base/QvScoped.h"
#include "base/QvShellScoped.h"
#include "base/QvSystemDll.h"

namespace {

qv::ScopedCertStore OpenRoot(DWORD location, DWORD flags) {
    auto open = qv::SystemFn<decltype(&::CertOpenStore)>(L"crypt32.dll", "CertOpenStore");
    if (!open) return qv::ScopedCertStore();
    return qv::ScopedCertStore(open(CERT_STORE_PROV_SYSTEM_W, 0, 0, location | flags, L"Root"));
}

using AddEncodedFn = decltype(&::CertAddEncodedCertificateToStore);

}  // namespace

int VerifySignature(const wchar_t* file) {
    if (!file) return 0;
    WINTRUST_FILE_INFO fileInfo{};
    fileInfo.cbStruct = sizeof(fileInfo);
    fileInfo.pcwszFilePath = file;
    WINTRUST_DATA data{};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &fileInfo;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    auto verify = qv::SystemFn<decltype(&::WinVerifyTrust)>(L"wintrust.dll", "WinVerifyTrust");
    if (!verify) return 0;
    LONG status = verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    // The verification keeps state until it is closed, whatever its result.
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    return status == ERROR_SUCCESS ? 1 : 0;
}

int CertExists(const wchar_t* subject) {
    if (!subject) return 0;
    qv::ScopedCertStore store =
        OpenRoot(CERT_SYSTEM_STORE_CURRENT_USER, CERT_STORE_READONLY_FLAG);
    if (!store) return 0;
    auto find = qv::SystemFn<decltype(&::CertFindCertificateInStore)>(
        L"crypt32.dll", "CertFindCertificateInStore");
    if (!find) return 0;
    qv::ScopedCertContext found(find(
        store.get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, CERT_FIND_SUBJECT_STR_W, subject,
        nullptr));
    return found ? 1 : 0;
}

int ImportCACert(void* der, int size) {
    if (!der || size <= 0) return 0;
    qv::ScopedCertStore store = OpenRoot(CERT_SYSTEM_STORE_LOCAL_MACHINE, CERT_STORE_OPEN_EXISTING_FLAG);
    if (!store) return 0;
    const auto* bytes = static_cast<const BYTE*>(der);
    auto add = qv::SystemFn<AddEncodedFn>(L"crypt32.dll", "CertAddEncodedCertificateToStore");
    if (!add) return 0;
    if (add(store.get(), X509_ASN_ENCODING, bytes, static_cast<DWORD>(size), CERT_STORE_ADD_NEW,
            nullptr)) {
        return 1;
    }
    if (::GetLastError() != static_cast<DWORD>(CRYPT_E_EXISTS)) return 0;
    return add(store.get(), X509_ASN_ENCODING, bytes, static_cast<DWORD>(size),
               CERT_STORE_ADD_REPLACE_EXISTING, nullptr)
               ? 1
               : 0;
}

int ImportCertFile(const wchar_t* file) {
    if (!file) return 0;
    qv::ScopedFile handle(::CreateFileW(file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle) return 0;
    LARGE_INTEGER size{};
    // Certificates are small; anything that does not fit an int is not one.
    if (!::GetFileSizeEx(handle.get(), &size) || size.QuadPart <= 0 || size.QuadPart > 0x7FFFFFFF) {
        return 0;
    }
    qv::ScopedHandle mapping(::CreateFileMappingW(handle.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping) return 0;
    qv::ScopedView view(::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
    if (!view) return 0;
    return ImportCACert(view.get(), static_cast<int>(size.QuadPart));
}
