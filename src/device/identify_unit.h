// The identification queries that follow the opening of the programming unit, and the reading of
// their replies into the unit's identity. Nothing here talks to the unit: identifyUnit
// (device/device_session.h) sends the queries and hands the replies over.
#pragma once

#include <cstdint>

#include "device/device_session.h"

Report statusQuery();
Report memoryRead();
Report controllerInfoRead();
Report bootloaderInfoRead();

// The replies of one identification. The status reply always comes; which others follow depends
// on what it says (the memory read for a unit outside its serving mode, the controller's two
// blocks for an updatable controller).
struct UnitReplies {
    static constexpr unsigned kMemory = 1;
    static constexpr unsigned kController = 2;
    static constexpr unsigned kBootloader = 4;

    Report status{};
    Report memory{};
    Report controller{};
    Report bootloader{};
    unsigned received = 0;  // which replies beside the status are there
};

// Reads the replies that are there into the session's identity fields. The result of the
// controller's queries by the refusal rule (16-bit codes): a refused block is not taken.
ResultCode readUnitIdentity(const UnitReplies& replies, DeviceSession& session);
