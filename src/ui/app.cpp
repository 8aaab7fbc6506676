#include "ui/app.h"

DeviceSession& appSession() {
    static DeviceSession session;  // closed until the first probe
    return session;
}
