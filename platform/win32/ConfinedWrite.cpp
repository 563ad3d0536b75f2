// Writing a payload into a product's Languages folder without ever leaving it.
//
// The threat: this process runs elevated, yet the folder it writes into may belong to a
// standard user (a folder made below C:\ lets every user create, delete and replace what
// is inside it). Such a user can replace Languages, or a folder above it, by a junction
// to a system folder; plant a link or a named pipe at a name the installer is about to
// create; or turn the target into a link to a file elsewhere. An administrator's process
// that can be steered into creating, overwriting, moving or deleting other files gives
// that user the machine. So nothing here looks a path up twice or follows a link:
//
// 1. The folder is opened once per product, without following a reparse point, and used
//    only when it is a directory on a disk, no reparse point itself, and its handle names
//    exactly the expected folder, so that no folder above it was redirected either (the
//    drive's root is taken where the system resolves it: an administrator's subst or
//    mapped drive letter is not a redirection). It stays open without delete sharing while its
//    files are written, so that it cannot be renamed or swapped underneath.
// 2. Each file is written under a name from the system's random source, created relative
//    to the folder's handle only if nothing of that name exists, without following a
//    reparse point; then flushed and moved over the target by its handle. The move
//    replaces the target as a name: what a link there points at, and the other names of
//    a hard link, keep their bytes. On any failure the file is deleted by its handle.
// 3. The target is opened only to ask whether it may be replaced (not held open by
//    another program, not read-only), for no data access, without following a link.
// 4. Every open asks for identification-level impersonation only, so that a named pipe
//    met on the way cannot act as this process.
#include "ConfinedWrite.h"

#include <winternl.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <vector>

namespace {

constexpr DWORD kWritePiece = 61440;
constexpr NTSTATUS kObjectNameNotFound = static_cast<NTSTATUS>(0xC0000034);
constexpr NTSTATUS kInvalidParameter = static_cast<NTSTATUS>(0xC000000D);
constexpr ULONG kSystemPreferredRng = 0x00000002;  // BCRYPT_USE_SYSTEM_PREFERRED_RNG
constexpr std::size_t kRandomBytes = 16;

// ntdll is mapped into every process; its calls are looked up rather than imported, as
// only known DLLs are imported.
template <class Call>
Call NtdllCall(const char* name) {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll ? reinterpret_cast<Call>(reinterpret_cast<void*>(GetProcAddress(ntdll, name))) : nullptr;
}

using NtCreateFileCall = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER,
                                          ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using NtSetInformationFileCall = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS);
using GenerateRandom = LONG(WINAPI*)(void*, PUCHAR, ULONG, ULONG);

struct Opened {
    HandleOwner handle;
    NTSTATUS status = kInvalidParameter;
};

// The one way anything is opened here: `name` below the folder `root`, or a whole NT path
// when `root` is null; a reparse point is opened itself, never followed.
Opened OpenBelow(HANDLE root, const std::wstring& name, ACCESS_MASK access, ULONG share, ULONG disposition,
                 ULONG options) {
    const auto create = NtdllCall<NtCreateFileCall>("NtCreateFile");
    const std::size_t bytes = name.size() * sizeof(wchar_t);
    if (!create || bytes > 0xFFFE) return {};
    UNICODE_STRING objectName{static_cast<USHORT>(bytes), static_cast<USHORT>(bytes), const_cast<wchar_t*>(name.c_str())};
    SECURITY_QUALITY_OF_SERVICE quality{sizeof quality, SecurityIdentification, SECURITY_STATIC_TRACKING, FALSE};
    OBJECT_ATTRIBUTES attributes{};
    attributes.Length = sizeof attributes;
    attributes.RootDirectory = root;
    attributes.ObjectName = &objectName;
    attributes.Attributes = OBJ_CASE_INSENSITIVE;
    attributes.SecurityQualityOfService = &quality;
    IO_STATUS_BLOCK status{};
    HANDLE handle = nullptr;
    Opened opened;
    opened.status = create(&handle, access | SYNCHRONIZE, &attributes, &status, nullptr, FILE_ATTRIBUTE_NORMAL, share,
                           disposition, options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (opened.status >= 0) opened.handle = HandleOwner(handle);
    return opened;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

// The full path in the form that bypasses the MAX_PATH limit, so that a target in a deep
// folder, or its temporary file a few characters longer, is not refused for its length.
std::wstring ExtendedPath(const std::wstring& path) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    std::wstring full(size, L'\0');
    const DWORD length = size ? GetFullPathNameW(path.c_str(), size, full.data(), nullptr) : 0;
    if (length == 0 || length >= size) return path;
    full.resize(length);
    if (full.starts_with(L"\\\\?\\") || full.starts_with(L"\\\\.\\")) return full;
    if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// The length of "\\?\X:\" or "\\?\UNC\server\share\" at the start of `path`; 0 for any
// other form (a device such as \\.\pipe\, or a path into the object namespace).
std::size_t DiskRootLength(const std::wstring& path) {
    if (path.size() >= 7 && path.starts_with(L"\\\\?\\") && path[5] == L':' && path[6] == L'\\' &&
        ((path[4] >= L'A' && path[4] <= L'Z') || (path[4] >= L'a' && path[4] <= L'z')))
        return 7;
    if (!path.starts_with(L"\\\\?\\UNC\\")) return 0;
    const std::size_t server = path.find(L'\\', 8);
    const std::size_t share = server == std::wstring::npos ? server : path.find(L'\\', server + 1);
    return share == std::wstring::npos || server == 8 || share == server + 1 ? 0 : share + 1;
}

// Where an open handle really is: its volume and its path from the volume's root, as the
// system resolved it. (GetFinalPathNameByHandleW says the same, but Wine's cannot give a
// path longer than MAX_PATH.)
struct Place {
    DWORD volume = 0;
    std::wstring path;
};

bool PlaceOf(HANDLE handle, Place& place) {
    BY_HANDLE_FILE_INFORMATION information{};
    std::vector<std::byte> buffer(sizeof(FILE_NAME_INFO) + 0x10000);
    auto* name = reinterpret_cast<FILE_NAME_INFO*>(buffer.data());
    if (!GetFileInformationByHandle(handle, &information) ||
        !GetFileInformationByHandleEx(handle, FileNameInfo, name, static_cast<DWORD>(buffer.size())))
        return false;
    place = {information.dwVolumeSerialNumber, std::wstring(name->FileName, name->FileNameLength / sizeof(wchar_t))};
    return true;
}

std::wstring NtPath(const std::wstring& extendedPath) { return L"\\??\\" + extendedPath.substr(4); }

// Where the handle of `folderPath` must be: below the drive's root as the system resolves
// it, along the rest of the path with any short names made long. GetLongPathNameW reads
// each folder's listing for the names and follows no link.
bool ExpectedPlace(const std::wstring& folderPath, Place& expected) {
    const std::size_t rootLength = DiskRootLength(folderPath);
    if (rootLength == 0) return false;
    std::wstring longPath(folderPath.size() + MAX_PATH, L'\0');
    const DWORD length =
        GetLongPathNameW(folderPath.c_str(), longPath.data(), static_cast<DWORD>(longPath.size()));
    if (length == 0 || length >= longPath.size() || length < rootLength) return false;
    longPath.resize(length);
    const Opened root = OpenBelow(nullptr, NtPath(folderPath.substr(0, rootLength)), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN, FILE_DIRECTORY_FILE);
    if (!root.handle || !PlaceOf(root.handle.get(), expected)) return false;
    if (expected.path.empty() || expected.path.back() != L'\\') expected.path += L'\\';
    expected.path += longPath.substr(rootLength);
    return true;
}

bool IsRealFolder(HANDLE handle) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    return GetFileType(handle) == FILE_TYPE_DISK &&
           GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) &&
           (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

HandleOwner OpenVerifiedFolder(const std::wstring& folderPath) {
    Place expected;
    if (!ExpectedPlace(folderPath, expected)) return {};
    // Read and write sharing only: while this handle is open nobody can rename or delete it.
    Opened folder = OpenBelow(nullptr, NtPath(folderPath),
                              FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN, FILE_DIRECTORY_FILE);
    Place place;
    if (!folder.handle || !IsRealFolder(folder.handle.get()) || !PlaceOf(folder.handle.get(), place) ||
        place.volume != expected.volume || !SameText(place.path, expected.path))
        return {};
    return std::move(folder.handle);
}

// A target that does not exist, or one that nobody holds open and that is not read-only, as
// creating it anew would demand. DELETE access makes the open fail on any handle that
// another program holds; no data is read or written.
bool TargetReplaceable(HANDLE folder, const std::wstring& name) {
    const Opened target = OpenBelow(folder, name, DELETE | FILE_READ_ATTRIBUTES, 0, FILE_OPEN, FILE_NON_DIRECTORY_FILE);
    if (!target.handle) return target.status == kObjectNameNotFound;
    FILE_ATTRIBUTE_TAG_INFO tag{};
    return GetFileInformationByHandleEx(target.handle.get(), FileAttributeTagInfo, &tag, sizeof tag) &&
           !(tag.FileAttributes & FILE_ATTRIBUTE_READONLY);
}

bool WriteWhole(HANDLE file, PayloadBytes payload) {
    while (!payload.empty()) {
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(payload.size(), kWritePiece));
        DWORD written = 0;
        if (!WriteFile(file, payload.data(), piece, &written, nullptr) || written != piece) return false;
        payload = payload.subspan(piece);
    }
    return true;
}

// Renames the open `file` to `name` in `folder`, replacing what has that name.
bool MoveOver(HANDLE file, HANDLE folder, const std::wstring& name) {
    const auto setInformation = NtdllCall<NtSetInformationFileCall>("NtSetInformationFile");
    const std::size_t nameBytes = name.size() * sizeof(wchar_t);
    std::vector<std::byte> buffer(offsetof(FILE_RENAME_INFORMATION, FileName) + nameBytes + sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFORMATION*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = folder;
    rename->FileNameLength = static_cast<ULONG>(nameBytes);
    std::copy(name.begin(), name.end(), rename->FileName);
    IO_STATUS_BLOCK status{};
    return setInformation &&
           setInformation(file, &status, rename, static_cast<ULONG>(buffer.size()), FileRenameInformation) >= 0;
}

void DeleteByHandle(HANDLE file) {
    FILE_DISPOSITION_INFO disposition{TRUE};
    SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
}

}  // namespace

bool ConfinedWriter::Write(PayloadBytes payload, const std::wstring& path) {
    const std::wstring full = ExtendedPath(path);
    const std::size_t separator = full.rfind(L'\\');
    if (separator == std::wstring::npos || separator + 1 == full.size()) return false;
    const std::wstring name = full.substr(separator + 1);
    const HANDLE folder = Folder(full.substr(0, separator));
    if (!folder || !TargetReplaceable(folder, name)) return false;

    if (!randomSource_) randomSource_.reset(LoadLibraryExW(L"bcrypt.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    const auto generate = randomSource_ ? reinterpret_cast<GenerateRandom>(reinterpret_cast<void*>(
                                              GetProcAddress(randomSource_.get(), "BCryptGenRandom")))
                                        : nullptr;
    std::array<UCHAR, kRandomBytes> random{};
    if (!generate || generate(nullptr, random.data(), kRandomBytes, kSystemPreferredRng) != 0) return false;
    std::wstring temporary = name + L".";
    for (const UCHAR byte : random) {
        temporary += L"0123456789abcdef"[byte >> 4];
        temporary += L"0123456789abcdef"[byte & 15];
    }
    temporary += L".tmp";

    const Opened file = OpenBelow(folder, temporary, GENERIC_WRITE | DELETE, 0, FILE_CREATE, FILE_NON_DIRECTORY_FILE);
    if (!file.handle) return false;
    if (WriteWhole(file.handle.get(), payload) && FlushFileBuffers(file.handle.get()) &&
        MoveOver(file.handle.get(), folder, name))
        return true;
    DeleteByHandle(file.handle.get());
    return false;
}

HANDLE ConfinedWriter::Folder(const std::wstring& folderPath) {
    // The files of one product come one after the other: its folder is opened and checked
    // at the first, held for the rest, and released when the next product's comes.
    if (!folderOpened_ || folderPath != folderPath_) {
        folder_ = OpenVerifiedFolder(folderPath);
        folderPath_ = folderPath;
        folderOpened_ = true;
    }
    return folder_.get();
}

void TrustOnlyAdministratorsRedirections() {
    using SetPolicy = BOOL(WINAPI*)(PROCESS_MITIGATION_POLICY, PVOID, SIZE_T);
    const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    const auto setPolicy = kernel32 ? reinterpret_cast<SetPolicy>(reinterpret_cast<void*>(
                                          GetProcAddress(kernel32, "SetProcessMitigationPolicy")))
                                    : nullptr;
    PROCESS_MITIGATION_REDIRECTION_TRUST_POLICY policy{};
    policy.EnforceRedirectionTrust = 1;
    // Refused by systems that do not know the policy; nothing else to do then.
    if (setPolicy) setPolicy(ProcessRedirectionTrustPolicy, &policy, sizeof policy);
}
