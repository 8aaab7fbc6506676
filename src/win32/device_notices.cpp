#include "win32/device_notices.h"

#include <dbt.h>

#include <cstddef>
#include <cwchar>

#include "win32/hid_library.h"

static_assert(sizeof(DEV_BROADCAST_DEVICEINTERFACE_W) == 32, "the filter's dbcc_size is 32");

HDEVNOTIFY registerForHidNotices(HWND window) {
    const HidLibrary* library = hidLibrary();
    if (library == nullptr) return nullptr;
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    library->getHidGuid(&filter.dbcc_classguid);
    return RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

const DeviceEventRecord* readDeviceNotice(WPARAM event, LPARAM lParam, DeviceEventRecord* record,
                                          std::wstring* storage) {
    if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) return nullptr;
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
    if (header == nullptr) return nullptr;
    record->deviceType = header->dbch_devicetype;
    record->interfacePath = nullptr;
    constexpr std::size_t kNameOffset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);
    if (header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE && header->dbch_size > kNameOffset) {
        // The name is read no further than the record's own size says, terminated or not.
        const auto* notice = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(header);
        const std::size_t room = (header->dbch_size - kNameOffset) / sizeof(wchar_t);
        storage->assign(notice->dbcc_name, wcsnlen(notice->dbcc_name, room));
        record->interfacePath = storage->c_str();
    }
    return record;
}
