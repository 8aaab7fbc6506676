#include "engine/unit_json.h"

#include <cstdio>

#include "engine/format_text.h"

namespace {

// A UTF-8 text as a JSON string.
std::string jsonString(const std::string& text) {
    std::string json = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
            json += escaped;
        } else {
            json += c;
        }
    }
    return json + '"';
}

}  // namespace

const char* stateWordOf(UnitState state) {
    switch (state) {
        case UnitState::ready: return "ready";
        case UnitState::wrongMode: return "wrong-mode";
        case UnitState::noController: return "no-controller";
        case UnitState::incompatibleController: return "incompatible";
        case UnitState::notFound: break;
    }
    return "no-answer";
}

std::string unitJson(const std::string& path, std::uint16_t productId, const VersionRows& rows,
                     const char* stateWord) {
    UnitView model;
    model.productId = productId;
    return std::string("{\"path\": ") + jsonString(path) +
           ", \"productId\": " + std::to_string(productId) +
           ", \"model\": " + jsonString(toUtf8(openViewLabels(model).productName)) +
           ", \"unitFirmware\": " + jsonString(toUtf8(rows.labels[0])) +
           ", \"escBootloader\": " + jsonString(toUtf8(rows.labels[1])) +
           ", \"escFirmware\": " + jsonString(toUtf8(rows.labels[2])) +
           ", \"state\": " + jsonString(stateWord) + "}";
}
