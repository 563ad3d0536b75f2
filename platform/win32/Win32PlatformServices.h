// The Windows binding of PlatformServices: wide registry, window, process, resource
// and file calls, with UTF-8 text at the interface. Files are written by a ConfinedWriter,
// which holds a product's Languages folder open while its files are written.
#pragma once

#include "ConfinedWrite.h"
#include "PlatformServices.h"

class Win32PlatformServices final : public PlatformServices {
public:
    std::optional<std::string> ReadMachineString(std::string_view keyPath, std::string_view valueName) override;
    WindowHandle FindTopLevelWindow(std::string_view windowClass, std::string_view title) override;
    bool TerminateWindowProcess(WindowHandle window) override;
    PayloadBytes OpenEmbeddedPayload(std::string_view name) override;
    bool WritePayloadToFile(PayloadBytes payload, const std::string& path) override;
    std::chrono::milliseconds Now() override;
    void Pause(std::chrono::milliseconds duration) override;

private:
    ConfinedWriter writer_;
};
