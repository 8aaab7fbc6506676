// The firmware image as the Windows programs carry it: resource 151 of type RCDATA, found by
// type and ID alone so that the user's language plays no part, with the digest that the build
// computed from the same file.
#include <windows.h>

#include "firmware_digest.h"
#include "flash/firmware_image.h"
#include "ui/resource_ids.h"

FirmwareImage firmwareImage() {
    const HMODULE module = GetModuleHandleW(nullptr);
    const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(kFirmwareImageId), RT_RCDATA);
    if (found == nullptr) return {nullptr, 0};
    const HGLOBAL loaded = LoadResource(module, found);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) return {nullptr, 0};
    return {static_cast<const std::uint8_t*>(bytes), SizeofResource(module, found),
            &kBuildImageDigest, UPDATER_FIRMWARE_PLACEHOLDER != 0};
}
