#include "OwnerOnly.h"

#include "Failure.h"
#include "FileOperations.h"

#include <QDir>

#ifdef _WIN32
#include <windows.h>
#include <aclapi.h>

#include <memory>
#include <vector>
#endif

namespace OwnerOnly {

#ifdef _WIN32

namespace {

Failure failureOf(DWORD error, const QString& path)
{
    return Failure(PermissionDenied, QStringLiteral("Permission denied: %1 (%2)")
                                         .arg(FileOperations::systemMessage(error),
                                              QDir::toNativeSeparators(path)));
}

// The user this program runs as, from its own token.
std::vector<BYTE> currentUser()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return {};
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size);
    const bool ok = size && GetTokenInformation(token, TokenUser, user.data(), size, &size);
    CloseHandle(token);
    return ok ? user : std::vector<BYTE>();
}

} // namespace

void restrict(const QString& path)
{
    const std::vector<BYTE> user = currentUser();
    BYTE system[SECURITY_MAX_SID_SIZE];
    DWORD systemSize = sizeof system;
    if (user.empty() || !CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &systemSize))
        throw failureOf(GetLastError(), path);
    EXPLICIT_ACCESS_W grants[2] = {};
    PSID sids[2] = {reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid, system};
    for (int i = 0; i < 2; ++i) {
        grants[i].grfAccessPermissions = GENERIC_ALL;
        grants[i].grfAccessMode = SET_ACCESS;
        grants[i].grfInheritance = NO_INHERITANCE;
        grants[i].Trustee.TrusteeForm = TRUSTEE_IS_SID;
        grants[i].Trustee.TrusteeType = i == 0 ? TRUSTEE_IS_USER : TRUSTEE_IS_WELL_KNOWN_GROUP;
        grants[i].Trustee.ptstrName = static_cast<LPWSTR>(sids[i]);
    }
    PACL list = nullptr;
    DWORD result = SetEntriesInAclW(2, grants, nullptr, &list);
    if (result == ERROR_SUCCESS) {
        std::wstring name = QDir::toNativeSeparators(path).toStdWString();
        // Protected: nothing the folder grants is passed on to the file. A file just moved into
        // place can be refused for a moment (Wine's file server has been seen to); it is tried
        // again for up to about a second.
        const SECURITY_INFORMATION what =
            DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION;
        for (int wait = 15;; wait *= 2) {
            result = SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, what, nullptr, nullptr,
                                           list, nullptr);
            if (result == ERROR_SUCCESS || wait > 480)
                break;
            Sleep(DWORD(wait));
        }
        LocalFree(list);
    }
    if (result != ERROR_SUCCESS)
        throw failureOf(result, path);
}

#else

void restrict(const QString&) {}

#endif

} // namespace OwnerOnly
