// The simulated machine's mouse class driver: an upper filter over a mouse port
// device, as the system's mouse class is installed over a root-enumerated mouse
// port. It attaches in its AddDevice and connects to the port there, before the
// stack starts (IOCTL_INTERNAL_MOUSE_CONNECT with its CONNECT_DATA in the
// request's Type3InputBuffer); it forwards every open and close of its clients to
// the port as IRP_MJ_CREATE and IRP_MJ_CLOSE. Its service
// callback records every MOUSE_INPUT_DATA it receives with the IRQL of the call;
// like the real one it takes its spin lock at DPC level, so a call below or
// above dispatch level is a bugcheck.
//
// The calls below act on the class device created last. sim::Reset() clears
// the records, the sink and the settings.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "mouse.h"
#include "nt.h"
#include "pnp.h"

namespace sim {
namespace mouclass {

struct Record {
    MOUSE_INPUT_DATA data;
    KIRQL irql;  // the IRQL the service callback was called at
};

// The class as an INF installs it: service "mouclass", its entry and pool tag.
pnp::DriverPackage Package();
// Installs the class as the upper filter of the devices with this hardware id.
void Install(const std::string& hardwareId = "root\\DRAVLINE");

// Every record the service callback received since Reset or Clear, in order.
std::vector<Record> Received();
void Clear();
// Called for every record as it arrives, at the IRQL of the service callback
// (dispatch level), outside the class's lock. Null removes it.
void SetSink(std::function<void(const MOUSE_INPUT_DATA&, KIRQL)> sink);

// Whether a client (the raw input thread of a running desktop) opens the class
// as soon as it has started, so that the class opens the port. Default: true.
void SetOpenOnStart(bool open);

// The class device's state.
bool Attached();                // a class device exists
bool Connected();               // the port accepted the connect request
NTSTATUS ConnectStatus();       // the status of the first connect request
bool PortOpen();                // a client's IRP_MJ_CREATE reached the port and is not closed yet
int Clients();                  // clients that have the class open
MOUSE_ATTRIBUTES Attributes();  // what IOCTL_MOUSE_QUERY_ATTRIBUTES returned at open
PDEVICE_OBJECT PortDevice();    // the device the class is attached to
PDEVICE_OBJECT ClassDevice();

// A client closes the class: IRP_MJ_CLOSE to the port (nothing when none is open).
NTSTATUS ClosePort();
// A client opens the class: IRP_MJ_CREATE to the port.
NTSTATUS OpenPort();
// Sends IOCTL_INTERNAL_MOUSE_CONNECT once more with the class's own CONNECT_DATA.
NTSTATUS ConnectAgain();
// An internal device control to the port as the class forwards it for a client:
// METHOD_BUFFERED codes through a system buffer, METHOD_NEITHER ones with the
// input as Type3InputBuffer. Returns the status; the byte count in *information.
NTSTATUS SendToPort(ULONG code, const void* input, ULONG inputLength, void* output, ULONG outputLength,
                    ULONG_PTR* information = nullptr);

void ResetMouclass();

}  // namespace mouclass
}  // namespace sim
