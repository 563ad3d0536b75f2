// Writing the payloads into a product's Languages folder so that nothing outside that
// folder is ever created, changed, moved or deleted, whatever a standard user prepared
// in or above it. See ConfinedWrite.cpp for the reasoning.
#pragma once

#include "Owners.h"
#include "PlatformServices.h"

#include <string>

class ConfinedWriter {
public:
    // Creates or replaces the file `path` (full, or relative to the current folder) with
    // exactly `payload`. False on any failure, with whatever was there left as it was.
    bool Write(PayloadBytes payload, const std::wstring& path);

private:
    // The folder's handle while its files are written; null when it was refused.
    HANDLE Folder(const std::wstring& folderPath);

    std::wstring folderPath_;
    HandleOwner folder_;
    bool folderOpened_ = false;
    ModuleOwner randomSource_;
};

// Where the system offers it (Windows 11 22H2 on), this process ignores junctions and
// links that no administrator made. Its absence is not an error.
void TrustOnlyAdministratorsRedirections();
