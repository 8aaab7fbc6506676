#include "flash/firmware_image.h"

#include "device/protocol.h"

bool isNotOlderThanImage(std::uint16_t installedVersion) {
    return installedVersion >= imageFirmwareVersion && installedVersion != kNoFirmwareInstalled;
}

bool matchesExpectedDigest(const FirmwareImage& image) {
    if (image.expectedDigest == nullptr || image.bytes == nullptr) return false;
    return sha256(image.bytes, image.size) == *image.expectedDigest;
}
