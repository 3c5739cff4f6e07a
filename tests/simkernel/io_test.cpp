// The simulated kernel's own rules, where the drivers rely on them: how a
// request travels down a stack and completes back up, cancel, the user-mode
// door, the registry's answers, the run-time conversions, the clock and pool.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "simkernel/nt.h"
#include "simkernel/sim.h"

namespace {

std::vector<std::string> g_log;

// A two-driver stack: "upper" over "lower". The lower driver completes or holds
// requests as a test tells it; the upper one passes them down with a routine.
struct Behaviour {
    NTSTATUS status = STATUS_SUCCESS;
    bool hold = false;  // mark pending and keep it
    bool cancelable = false;
    PIRP held = nullptr;
} g_lower;

void NTAPI CancelHeld(PDEVICE_OBJECT, PIRP irp)
{
    IoReleaseCancelSpinLock(irp->CancelIrql);
    g_log.push_back("cancel routine");
    g_lower.held = nullptr;
    irp->IoStatus.Status = STATUS_CANCELLED;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
}

NTSTATUS NTAPI LowerDispatch(PDEVICE_OBJECT, PIRP irp)
{
    g_log.push_back("lower");
    if (g_lower.hold) {
        IoMarkIrpPending(irp);
        g_lower.held = irp;
        if (g_lower.cancelable)
            IoSetCancelRoutine(irp, CancelHeld);
        return STATUS_PENDING;
    }
    irp->IoStatus.Status = g_lower.status;
    irp->IoStatus.Information = 3;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return g_lower.status;
}

NTSTATUS NTAPI UpperRoutine(PDEVICE_OBJECT device, PIRP irp, PVOID context)
{
    g_log.push_back(std::string("upper routine pending=") + (irp->PendingReturned ? "1" : "0") +
                    " device=" + (device ? "upper" : "none"));
    if (irp->PendingReturned)
        IoMarkIrpPending(irp);
    return context ? STATUS_MORE_PROCESSING_REQUIRED : STATUS_SUCCESS;
}

struct Stack {
    PDRIVER_OBJECT lowerDriver, upperDriver;
    PDEVICE_OBJECT lower, upper;
    BOOLEAN onSuccess = TRUE, onError = TRUE, onCancel = TRUE;
    bool stop = false;

    static NTSTATUS NTAPI UpperDispatch(PDEVICE_OBJECT device, PIRP irp)
    {
        g_log.push_back("upper");
        auto* s = *(Stack**)device->DeviceExtension;
        IoCopyCurrentIrpStackLocationToNext(irp);
        IoSetCompletionRoutine(irp, UpperRoutine, s->stop ? (PVOID)1 : nullptr, s->onSuccess, s->onError, s->onCancel);
        return IoCallDriver(s->lower, irp);
    }

    Stack()
    {
        lowerDriver = sim::LoadDriver("lowerdrv", [](PDRIVER_OBJECT d, PUNICODE_STRING) {
            d->MajorFunction[IRP_MJ_DEVICE_CONTROL] = LowerDispatch;
            d->MajorFunction[IRP_MJ_CREATE] = LowerDispatch;
            d->MajorFunction[IRP_MJ_CLOSE] = LowerDispatch;
            d->MajorFunction[IRP_MJ_CLEANUP] = LowerDispatch;
            return STATUS_SUCCESS;
        });
        upperDriver = sim::LoadDriver("upperdrv", [](PDRIVER_OBJECT d, PUNICODE_STRING) {
            for (int m : {IRP_MJ_DEVICE_CONTROL, IRP_MJ_CREATE, IRP_MJ_CLOSE, IRP_MJ_CLEANUP})
                d->MajorFunction[m] = UpperDispatch;
            return STATUS_SUCCESS;
        });
        UNICODE_STRING name, link;
        RtlInitUnicodeString(&name, u"\\Device\\Lower");
        RtlInitUnicodeString(&link, u"\\DosDevices\\LowerLink");
        EXPECT_EQ(IoCreateDevice(lowerDriver, 0, &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &lower), STATUS_SUCCESS);
        EXPECT_EQ(IoCreateSymbolicLink(&link, &name), STATUS_SUCCESS);
        EXPECT_EQ(IoCreateDevice(upperDriver, sizeof(Stack*), nullptr, FILE_DEVICE_UNKNOWN, 0, FALSE, &upper),
                  STATUS_SUCCESS);
        *(Stack**)upper->DeviceExtension = this;
        EXPECT_EQ(IoAttachDeviceToDeviceStack(upper, lower), lower);
        EXPECT_EQ(upper->StackSize, 2);
    }

    ~Stack()
    {
        IoDetachDevice(lower);
        IoDeleteDevice(upper);
        IoDeleteDevice(lower);
        sim::UnloadDriver(upperDriver);
        sim::UnloadDriver(lowerDriver);
    }
};

class Io : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim::Reset();
        g_log.clear();
        g_lower = Behaviour();
    }
    void TearDown() override
    {
        EXPECT_EQ(sim::IrpsOutstanding(), 0);
        sim::Reset();
    }
};

NTSTATUS NTAPI OriginatorRoutine(PDEVICE_OBJECT device, PIRP irp, PVOID)
{
    g_log.push_back(std::string("originator device=") + (device ? "set" : "none"));
    IoFreeIrp(irp);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

PIRP OwnRequest(PDEVICE_OBJECT top)
{
    PIRP irp = IoAllocateIrp(top->StackSize, FALSE);
    IoGetNextIrpStackLocation(irp)->MajorFunction = IRP_MJ_DEVICE_CONTROL;
    IoSetCompletionRoutine(irp, OriginatorRoutine, nullptr, TRUE, TRUE, TRUE);
    return irp;
}

TEST_F(Io, CompletionRoutinesRunBottomUpWithTheCallersDevice)
{
    Stack s;
    EXPECT_EQ(IoCallDriver(s.upper, OwnRequest(s.upper)), STATUS_SUCCESS);
    EXPECT_EQ(g_log, (std::vector<std::string>{"upper", "lower", "upper routine pending=0 device=upper",
                                               "originator device=none"}));
}

TEST_F(Io, InvokeFlagsChooseWhichOutcomesReachARoutine)
{
    Stack s;
    s.onSuccess = FALSE;
    IoCallDriver(s.upper, OwnRequest(s.upper));
    EXPECT_EQ(g_log.size(), 3u) << "skipped on success";
    g_log.clear();
    g_lower.status = STATUS_UNSUCCESSFUL;
    IoCallDriver(s.upper, OwnRequest(s.upper));
    EXPECT_EQ(g_log[2], "upper routine pending=0 device=upper") << "called on error";
}

TEST_F(Io, MoreProcessingRequiredStopsTheCompletion)
{
    Stack s;
    s.stop = true;
    PIRP irp = OwnRequest(s.upper);
    IoCallDriver(s.upper, irp);
    EXPECT_EQ(g_log.back(), "upper routine pending=0 device=upper");
    EXPECT_EQ(sim::IrpsOutstanding(), 1) << "the request now belongs to the routine that stopped it";
    IoFreeIrp(irp);
}

TEST_F(Io, APendingMarkTravelsUpToEveryCaller)
{
    Stack s;
    g_lower.hold = true;
    EXPECT_EQ(IoCallDriver(s.upper, OwnRequest(s.upper)), STATUS_PENDING);
    ASSERT_NE(g_lower.held, nullptr);
    PIRP irp = g_lower.held;
    irp->IoStatus.Status = STATUS_SUCCESS;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    EXPECT_EQ(g_log[2], "upper routine pending=1 device=upper");
}

TEST_F(Io, CancelRunsTheCancelRoutineOnlyWhileOneIsSet)
{
    Stack s;
    g_lower.hold = true;
    g_lower.cancelable = true;
    PIRP irp = OwnRequest(s.upper);
    IoCallDriver(s.upper, irp);
    EXPECT_TRUE(IoCancelIrp(irp));
    EXPECT_EQ(g_log[2], "cancel routine");
    EXPECT_EQ(g_log[3], "upper routine pending=1 device=upper");

    g_lower.cancelable = false;
    irp = OwnRequest(s.upper);
    IoCallDriver(s.upper, irp);
    EXPECT_FALSE(IoCancelIrp(irp)) << "nobody to deliver it to";
    EXPECT_TRUE(irp->Cancel);
    irp->IoStatus.Status = STATUS_CANCELLED;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
}

TEST_F(Io, TheUserDoorCopiesBackWhatTheDriverReports)
{
    Stack s;
    sim::user::Handle h = sim::user::CreateFile("\\\\.\\LowerLink");
    ASSERT_NE(h, sim::user::kInvalidHandle);
    EXPECT_EQ(g_log, (std::vector<std::string>{"upper", "lower", "upper routine pending=0 device=upper"}))
        << "the create goes to the top of the stack";
    uint8_t out[8] = {};
    uint32_t bytes = 0;
    EXPECT_TRUE(sim::user::DeviceIoControl(h, 0x220000, "abcdefgh", 8, out, 8, &bytes));
    EXPECT_EQ(bytes, 3u);
    EXPECT_EQ(std::string((char*)out, 3), "abc") << "the system buffer held the input";

    g_lower.status = STATUS_INVALID_PARAMETER;
    bytes = 77;
    EXPECT_FALSE(sim::user::DeviceIoControl(h, 0x220000, nullptr, 0, out, 8, &bytes));
    EXPECT_EQ(sim::user::LastStatus(), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(bytes, 0u);
    g_lower.status = STATUS_SUCCESS;
    EXPECT_TRUE(sim::user::CloseHandle(h));
    EXPECT_EQ(sim::user::CreateFile("\\\\.\\Nothing"), sim::user::kInvalidHandle);
    EXPECT_EQ(sim::user::LastStatus(), STATUS_OBJECT_NAME_NOT_FOUND);
}

TEST_F(Io, NamesCollideAndLinksResolve)
{
    Stack s;
    PDEVICE_OBJECT again;
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, u"\\DEVICE\\lower");
    EXPECT_EQ(IoCreateDevice(s.lowerDriver, 0, &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &again),
              STATUS_OBJECT_NAME_COLLISION);
    PFILE_OBJECT file;
    PDEVICE_OBJECT top;
    UNICODE_STRING link;
    RtlInitUnicodeString(&link, u"\\DosDevices\\LowerLink");
    ASSERT_EQ(IoGetDeviceObjectPointer(&link, FILE_ALL_ACCESS, &file, &top), STATUS_SUCCESS);
    EXPECT_EQ(top, s.upper);
    g_log.clear();
    ObDereferenceObject(file);
    EXPECT_EQ(g_log.size(), 6u) << "cleanup and close reach the stack when the last reference goes";
}

TEST(Registry, FullInformationAnswersAndOverflows)
{
    sim::Reset();
    std::vector<uint8_t> data(100, 7);
    sim::registry::SetValue("HKLM\\SOFTWARE\\T", "Value", REG_BINARY, data.data(), data.size());
    UNICODE_STRING path, name;
    RtlInitUnicodeString(&path, u"\\Registry\\MACHINE\\software\\t");
    OBJECT_ATTRIBUTES oa;
    InitializeObjectAttributes(&oa, &path, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
    HANDLE key;
    ASSERT_EQ(ZwOpenKey(&key, KEY_READ, &oa), STATUS_SUCCESS);
    RtlInitUnicodeString(&name, u"VALUE");
    alignas(8) uint8_t buf[256];
    ULONG len = 0;
    EXPECT_EQ(ZwQueryValueKey(key, &name, KeyValueFullInformation, buf, 10, &len), STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(ZwQueryValueKey(key, &name, KeyValueFullInformation, buf, 60, &len), STATUS_BUFFER_OVERFLOW);
    auto* fi = (PKEY_VALUE_FULL_INFORMATION)buf;
    EXPECT_EQ(fi->DataLength, 100u);
    EXPECT_EQ(len, fi->DataOffset + 100);
    ASSERT_EQ(ZwQueryValueKey(key, &name, KeyValueFullInformation, buf, sizeof buf, &len), STATUS_SUCCESS);
    EXPECT_EQ(fi->Type, (ULONG)REG_BINARY);
    EXPECT_EQ(buf[fi->DataOffset + 99], 7);
    RtlInitUnicodeString(&name, u"Missing");
    EXPECT_EQ(ZwQueryValueKey(key, &name, KeyValueFullInformation, buf, sizeof buf, &len),
              STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(ZwClose(key), STATUS_SUCCESS);

    // A key is created one level at a time.
    RtlInitUnicodeString(&path, u"\\Registry\\Machine\\Software\\A\\B");
    ULONG disposition;
    EXPECT_EQ(ZwCreateKey(&key, KEY_ALL_ACCESS, &oa, 0, nullptr, 0, &disposition), STATUS_OBJECT_NAME_NOT_FOUND);
    sim::Reset();
}

TEST(Rtl, NumbersAndTextConvertAsTheRuntimeLibraryDoes)
{
    auto parse = [](const char16_t* s) {
        UNICODE_STRING u;
        RtlInitUnicodeString(&u, s);
        ULONG v = 12345;
        EXPECT_EQ(RtlUnicodeStringToInteger(&u, 10, &v), STATUS_SUCCESS);
        return v;
    };
    EXPECT_EQ(parse(u"  42"), 42u);
    EXPECT_EQ(parse(u"-1"), 0xFFFFFFFFu);
    EXPECT_EQ(parse(u"7up"), 7u);
    EXPECT_EQ(parse(u"up"), 0u);
    EXPECT_EQ(parse(u""), 0u);

    WCHAR small[3];
    UNICODE_STRING out{0, sizeof small, small};
    EXPECT_EQ(RtlIntegerToUnicodeString(99, 10, &out), STATUS_SUCCESS);
    EXPECT_EQ(out.Length, 4);
    EXPECT_EQ(RtlIntegerToUnicodeString(100, 10, &out), STATUS_BUFFER_OVERFLOW) << "no room for the zero";

    WCHAR buf[8];
    UNICODE_STRING dest{0, sizeof buf, buf};
    EXPECT_EQ(RtlAppendUnicodeToString(&dest, u"abc"), STATUS_SUCCESS);
    EXPECT_EQ(RtlAppendUnicodeToString(&dest, u"defghi"), STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(dest.Length, 6);
}

TEST(Clock, RelativeWaitsMoveTheVirtualClock)
{
    sim::Reset();
    KEVENT never;
    KeInitializeEvent(&never, NotificationEvent, FALSE);
    LARGE_INTEGER t;
    t.QuadPart = -1000000;
    EXPECT_EQ(KeWaitForSingleObject(&never, Executive, KernelMode, FALSE, &t), STATUS_TIMEOUT);
    EXPECT_EQ(sim::Now(), 1000000u);
    KeQueryTickCount(&t);
    EXPECT_EQ(t.QuadPart, 6) << "100 ms is six whole ticks of 15.625 ms";
    KeSetEvent(&never, 0, FALSE);
    t.QuadPart = -1000000;
    EXPECT_EQ(KeWaitForSingleObject(&never, Executive, KernelMode, FALSE, &t), STATUS_SUCCESS);
    EXPECT_EQ(sim::Now(), 1000000u) << "a signalled object does not wait";
    sim::Reset();
}

TEST(Pool, CountsPerTagAndFailsTheAllocationAsked)
{
    sim::Reset();
    const ULONG tag = sim::TagOf("Test");
    void* a = ExAllocatePoolWithTag(NonPagedPool, 10, tag);
    sim::FailAllocation(2);
    void* b = ExAllocatePoolWithTag(NonPagedPool, 20, tag);
    void* c = ExAllocatePoolWithTag(NonPagedPool, 30, tag);
    void* d = ExAllocatePoolWithTag(NonPagedPool, 40, tag);
    EXPECT_NE(b, nullptr);
    EXPECT_EQ(c, nullptr);
    EXPECT_NE(d, nullptr);
    EXPECT_EQ(sim::PoolUsageOf(tag).allocations, 3);
    EXPECT_EQ(sim::PoolUsageOf(tag).bytes, 70);
    EXPECT_NE(sim::PoolReport().find("'Test'"), std::string::npos);
    ExFreePool(a);
    ExFreePool(b);
    ExFreePool(d);
    EXPECT_EQ(sim::PoolReport(), "");
    sim::Reset();
}

}  // namespace
