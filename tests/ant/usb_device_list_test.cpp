#include <memory>

#include <gtest/gtest.h>

#include "ant/usb/usb_device_handle.h"
#include "ant/usb/usb_device_kind.h"
#include "ant/usb/usb_device_list.h"
#include "tests/support/memory_device_kind.h"
#include "tests/support/memory_usb_device.h"

namespace {

bool hasPid1004(const MemoryUSBDevice& device) {
    return device.GetPid() == 0x1004;
}

TEST(USBDeviceList, ValueListsOwnCopiesAndPointerListsConvertWithoutOwning) {
    auto a = std::make_shared<MemoryStick>(0x1004, 1);
    auto b = std::make_shared<MemoryStick>(0x1008, 2);
    USBDeviceList<const MemoryUSBDevice> values;
    {
        MemoryUSBDevice temporary(a);
        values.Add(temporary);
    }
    values.Add(MemoryUSBDevice(b));
    ASSERT_EQ(values.GetSize(), 2u);
    EXPECT_EQ(values[0].GetSerialNumber(), 1u);
    EXPECT_EQ(values.GetAddress(1)->GetSerialNumber(), 2u);
    EXPECT_THROW(values[2], int);
    try {
        values.GetAddress(7);
        ADD_FAILURE();
    } catch (int error) {
        EXPECT_EQ(error, 0);
    }
    const USBDeviceList<const MemoryUSBDevice> filtered = values.GetSubList(hasPid1004);
    ASSERT_EQ(filtered.GetSize(), 1u);
    EXPECT_EQ(filtered[0].GetSerialNumber(), 1u);
    EXPECT_EQ(values.GetSubList(nullptr).GetSize(), 0u);
    USBDeviceList<const MemoryUSBDevice> assigned;
    assigned.Add(MemoryUSBDevice(b));
    assigned = values;
    auto& same = assigned;
    assigned = same;
    EXPECT_EQ(assigned.GetSize(), 2u);
    assigned.Clear();
    EXPECT_EQ(assigned.GetSize(), 0u);
    EXPECT_EQ(values.GetSize(), 2u);

    MemoryUSBDevice device(a);
    USBDeviceList<const MemoryUSBDevice*> specific;
    specific.Add(&device);
    specific.Add(&device);
    USBDeviceList<const USBDevice*> general;
    general.Add(specific);
    ASSERT_EQ(general.GetSize(), 2u);
    EXPECT_EQ(general[1], &device);
    general.Clear();
    specific.Clear();
    EXPECT_EQ(device.GetSerialNumber(), 1u); // still alive
}

TEST(USBDeviceHandleDispatch, ListsFollowTheTableOrderAndMaskAndEachDeviceGoesToItsKind) {
    auto a = std::make_shared<MemoryStick>(0x1004, 1);
    auto b = std::make_shared<MemoryStick>(0x1008, 2);
    USBDeviceKind first = MakeMemoryDeviceKind({a});
    USBDeviceKind second = MakeMemoryDeviceKind({b});
    first.type = 1;
    second.type = 8;
    SetUSBDeviceKinds({first, second});
    const auto all = USBDeviceHandle::GetAllDevices(USB_DEVICE_TYPE_ALL);
    ASSERT_EQ(all.GetSize(), 2u);
    EXPECT_EQ(all[0]->GetSerialNumber(), 1u);
    EXPECT_EQ(all[1]->GetSerialNumber(), 2u);
    const auto onlyEight = USBDeviceHandle::GetAllDevices(8);
    ASSERT_EQ(onlyEight.GetSize(), 1u);
    EXPECT_EQ(onlyEight[0]->GetSerialNumber(), 2u);
    EXPECT_EQ(USBDeviceHandle::GetAllDevices(4).GetSize(), 0u);
    b->SetOpenable(false);
    EXPECT_EQ(USBDeviceHandle::GetAvailableDevices(USB_DEVICE_TYPE_ALL).GetSize(), 1u);

    // A device goes to the kind of its own type.
    SetUSBDeviceKinds({MakeMemoryDeviceKind({a})});
    const auto listed = USBDeviceHandle::GetAllDevices();
    ASSERT_EQ(listed.GetSize(), 1u);
    USBDevice* copy = nullptr;
    ASSERT_TRUE(USBDeviceHandle::CopyDevice(copy, listed[0]));
    ASSERT_NE(copy, nullptr);
    USBDevice* const kept = copy;
    EXPECT_FALSE(USBDeviceHandle::CopyDevice(copy, listed[0])); // out pointer already set
    EXPECT_EQ(copy, kept);
    USBDevice* none = nullptr;
    EXPECT_FALSE(USBDeviceHandle::CopyDevice(none, nullptr));
    USBDeviceHandle* handle = nullptr;
    ASSERT_TRUE(USBDeviceHandle::Open(*copy, handle, 57600));
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(handle->GetDevice().GetSerialNumber(), 1u);
    EXPECT_TRUE(USBDeviceHandle::Close(handle));
    EXPECT_EQ(handle, nullptr);
    EXPECT_FALSE(USBDeviceHandle::Close(handle));
    EXPECT_EQ(a->CloseCount(), 1);

    SetUSBDeviceKinds({}); // no kind knows this device any more
    handle = reinterpret_cast<USBDeviceHandle*>(0x1);
    EXPECT_FALSE(USBDeviceHandle::Open(*copy, handle, 57600));
    EXPECT_EQ(handle, nullptr);
    USBDevice* another = nullptr;
    EXPECT_FALSE(USBDeviceHandle::CopyDevice(another, copy));
    delete copy;
}

} // namespace
