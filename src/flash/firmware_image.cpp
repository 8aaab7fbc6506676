#include "flash/firmware_image.h"

bool matchesExpectedDigest(const FirmwareImage& image) {
    if (image.expectedDigest == nullptr || image.bytes == nullptr) return false;
    return sha256(image.bytes, image.size) == *image.expectedDigest;
}
