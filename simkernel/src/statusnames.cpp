// Status names: "STATUS_SUCCESS" and the others the tools print, both ways.
#include <cstdio>

#include "internal.h"

namespace sim {

std::string StatusName(NTSTATUS s)
{
    static const std::pair<NTSTATUS, const char*> names[] = {
        {STATUS_SUCCESS, "STATUS_SUCCESS"},
        {STATUS_TIMEOUT, "STATUS_TIMEOUT"},
        {STATUS_PENDING, "STATUS_PENDING"},
        {STATUS_MORE_PROCESSING_REQUIRED, "STATUS_MORE_PROCESSING_REQUIRED"},
        {STATUS_BUFFER_OVERFLOW, "STATUS_BUFFER_OVERFLOW"},
        {STATUS_UNSUCCESSFUL, "STATUS_UNSUCCESSFUL"},
        {STATUS_NOT_IMPLEMENTED, "STATUS_NOT_IMPLEMENTED"},
        {STATUS_INVALID_PARAMETER, "STATUS_INVALID_PARAMETER"},
        {STATUS_NO_SUCH_DEVICE, "STATUS_NO_SUCH_DEVICE"},
        {STATUS_INVALID_DEVICE_REQUEST, "STATUS_INVALID_DEVICE_REQUEST"},
        {STATUS_NO_MEMORY, "STATUS_NO_MEMORY"},
        {STATUS_ACCESS_DENIED, "STATUS_ACCESS_DENIED"},
        {STATUS_BUFFER_TOO_SMALL, "STATUS_BUFFER_TOO_SMALL"},
        {STATUS_OBJECT_NAME_INVALID, "STATUS_OBJECT_NAME_INVALID"},
        {STATUS_OBJECT_NAME_NOT_FOUND, "STATUS_OBJECT_NAME_NOT_FOUND"},
        {STATUS_OBJECT_NAME_COLLISION, "STATUS_OBJECT_NAME_COLLISION"},
        {STATUS_SHARING_VIOLATION, "STATUS_SHARING_VIOLATION"},
        {STATUS_DELETE_PENDING, "STATUS_DELETE_PENDING"},
        {STATUS_INSUFFICIENT_RESOURCES, "STATUS_INSUFFICIENT_RESOURCES"},
        {STATUS_DEVICE_DATA_ERROR, "STATUS_DEVICE_DATA_ERROR"},
        {STATUS_DEVICE_NOT_CONNECTED, "STATUS_DEVICE_NOT_CONNECTED"},
        {STATUS_IO_TIMEOUT, "STATUS_IO_TIMEOUT"},
        {STATUS_NOT_SUPPORTED, "STATUS_NOT_SUPPORTED"},
        {STATUS_INVALID_USER_BUFFER, "STATUS_INVALID_USER_BUFFER"},
        {STATUS_CANCELLED, "STATUS_CANCELLED"},
        {STATUS_INVALID_DEVICE_STATE, "STATUS_INVALID_DEVICE_STATE"},
        {STATUS_DEVICE_BUSY, "STATUS_DEVICE_BUSY"},
    };
    for (auto& n : names)
        if (n.first == s)
            return n.second;
    char b[16];
    std::snprintf(b, sizeof b, "0x%08X", (unsigned)s);
    return b;
}

bool StatusFromName(const std::string& name, NTSTATUS* status)
{
    for (NTSTATUS s : {STATUS_SUCCESS,
                       STATUS_TIMEOUT,
                       STATUS_UNSUCCESSFUL,
                       STATUS_NOT_IMPLEMENTED,
                       STATUS_INVALID_PARAMETER,
                       STATUS_NO_SUCH_DEVICE,
                       STATUS_INVALID_DEVICE_REQUEST,
                       STATUS_NO_MEMORY,
                       STATUS_ACCESS_DENIED,
                       STATUS_BUFFER_TOO_SMALL,
                       STATUS_SHARING_VIOLATION,
                       STATUS_DELETE_PENDING,
                       STATUS_INSUFFICIENT_RESOURCES,
                       STATUS_DEVICE_DATA_ERROR,
                       STATUS_DEVICE_NOT_CONNECTED,
                       STATUS_IO_TIMEOUT,
                       STATUS_NOT_SUPPORTED,
                       STATUS_CANCELLED,
                       STATUS_INVALID_DEVICE_STATE,
                       STATUS_DEVICE_BUSY,
                       STATUS_INVALID_USER_BUFFER,
                       STATUS_BUFFER_OVERFLOW}) {
        if (StatusName(s) == name) {
            *status = s;
            return true;
        }
    }
    return false;
}

}  // namespace sim
