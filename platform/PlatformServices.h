// The system services the installer logic needs, behind one interface so that
// the logic builds and is tested off Windows. Text is UTF-8 throughout.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <exception>
#include <string>
#include <string_view>
#include <utility>

// A failure of a system service, carrying the message the user is shown. Not a
// std::runtime_error, whose string type would double the Windows program's runtime.
class PlatformError : public std::exception {
public:
    explicit PlatformError(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

// An opaque top-level window; kNoWindow when none was found.
using WindowHandle = std::uintptr_t;
inline constexpr WindowHandle kNoWindow = 0;

// The read-only bytes of an embedded payload; they stay valid for the life of the process.
using PayloadBytes = std::span<const std::byte>;

class PlatformServices {
public:
    virtual ~PlatformServices() = default;

    // The string value `valueName` of the key `keyPath` below HKEY_LOCAL_MACHINE, up to its
    // first NUL and unexpanded; nothing when the key or the value is missing or cannot be opened.
    // Throws "Invalid data type for '<value>'" for a non-empty value of another type and
    // "Failed to get data for '<value>'" when the data cannot be read.
    virtual std::optional<std::string> ReadMachineString(std::string_view keyPath, std::string_view valueName) = 0;

    // A top-level window whose class and whole title match, letter case ignored.
    virtual WindowHandle FindTopLevelWindow(std::string_view windowClass, std::string_view title) = 0;

    // Terminates the process that owns `window` with exit code 0 and waits up to
    // kTerminationWait for it to end. True when the process has ended.
    virtual bool TerminateWindowProcess(WindowHandle window) = 0;

    // The whole data of the embedded payload `name`, letter case ignored.
    // Throws "Resource <name> not found" when there is none.
    virtual PayloadBytes OpenEmbeddedPayload(std::string_view name) = 0;

    // Creates or replaces the file at `path` with exactly `payload`. False on any failure,
    // in which case whatever was at `path` before is left as it was.
    virtual bool WritePayloadToFile(PayloadBytes payload, const std::string& path) = 0;

    // A monotonic clock and a pause, so that waiting can be simulated in tests.
    virtual std::chrono::milliseconds Now() = 0;
    virtual void Pause(std::chrono::milliseconds duration) = 0;
};

inline constexpr std::chrono::milliseconds kTerminationWait{5000};
