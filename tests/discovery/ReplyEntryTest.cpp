// How the receivers enter replies into the device table, fed straight with bytes.

#include "SimulatedDevice.h"
#include "support/ReceiverFixture.h"

#include <gtest/gtest.h>

using namespace quillon;
using namespace quillon::protocol;
using namespace quillon::discovery;
using devices::DeviceRecord;
using devsim::SimulatedDevice;

namespace {

class ReceiverEntryTest : public testing::Test {
protected:
    void Long(const SimulatedDevice& device, std::uint8_t code = 1)
    {
        HandleLongFormDatagram(bench.shared, devsim::LongFormReply(device, code));
    }
    void Short(const SimulatedDevice& device, std::uint8_t kind = 0, std::optional<std::size_t> length = {})
    {
        HandleShortFormDatagram(bench.shared, devsim::ShortFormReply(device, kind, length));
    }
    DeviceRecord* Record(const SimulatedDevice& device)
    {
        return bench.table.FindDeviceByMac(device.mac);
    }
    static SimulatedDevice Device(std::uint8_t n)
    {
        SimulatedDevice device;
        device.mac = {0x02, 0, 0, 0, 0, n};
        device.ip = {192, 168, 1, static_cast<std::uint8_t>(10 + n)};
        device.name = "dev" + std::to_string(n);
        device.dns1 = {192, 168, 1, 53};
        device.dns2 = {192, 168, 2, 53};
        return device;
    }
    // Rows as "number name address".
    QStringList Rows()
    {
        QStringList rows;
        for (const auto& row : bench.Rows())
            rows << QString::number(row.number) + u' ' + row.nameText + u' ' + row.addressText;
        return rows;
    }

    test::ReceiverBench bench;
};

} // namespace

TEST_F(ReceiverEntryTest, TheFirstAnswerMakesRowOneAndLaterAnswersOnlyTheirValues)
{
    SimulatedDevice device = Device(1);
    Short(device);
    EXPECT_EQ(Record(device)->listIndex, 0);
    EXPECT_EQ(Record(device)->port1, 80);
    device.port1 = 8080;
    device.dns1 = {1, 1, 1, 1};
    device.dhcp = true;
    Long(device);
    EXPECT_EQ(bench.RecordCount(), 1);
    EXPECT_EQ(Rows(), QStringList{"1 dev1 192.168.001.011"});
    EXPECT_EQ(Record(device)->port1, 8080);
    EXPECT_EQ(Record(device)->dns1[0], 1);
    EXPECT_EQ(Record(device)->dhcpEnabled, 1);
}

TEST_F(ReceiverEntryTest, KnownDeviceWithNewAddressOrNameMovesToTheEndUnderItsNumber)
{
    Long(Device(1));
    Long(Device(2));
    SimulatedDevice third = Device(3);
    Short(third);
    Long(Device(4));
    third.ip = {10, 0, 0, 5};
    Long(third);
    EXPECT_EQ(Rows(), (QStringList{"1 dev1 192.168.001.011", "2 dev2 192.168.001.012",
                                   "4 dev4 192.168.001.014", "3 dev3 010.000.000.005"}));
    SimulatedDevice second = Device(2);
    second.name = "renamed";
    Short(second);
    EXPECT_EQ(Rows().back(), QStringLiteral("2 renamed 192.168.001.012"));
    EXPECT_EQ(bench.RecordCount(), 4);
}

TEST_F(ReceiverEntryTest, TheFirstDeviceKeepsItsPlaceAndShowsItsNewValues)
{
    SimulatedDevice first = Device(1);
    Long(first);
    Long(Device(2));
    first.ip = {10, 0, 0, 1};
    Short(first);
    EXPECT_EQ(Rows(), (QStringList{"1 dev1 010.000.000.001", "2 dev2 192.168.001.012"}));
    first.name = "renamed";
    Long(first);
    EXPECT_EQ(Rows(), (QStringList{"1 renamed 010.000.000.001", "2 dev2 192.168.001.012"}));
}

TEST_F(ReceiverEntryTest, LongFormDhcpIsKnownOnlyOnceReportedOn)
{
    SimulatedDevice device = Device(1);
    Long(device);
    EXPECT_EQ(Record(device)->dhcpEnabled, 0);
    EXPECT_EQ(Record(device)->hasDhcp, 0);
    device.dhcp = true;
    Long(device);
    EXPECT_EQ(Record(device)->dhcpEnabled, 1);
    EXPECT_EQ(Record(device)->hasDhcp, 1);
    device.dhcp = false;
    Long(device);
    EXPECT_EQ(Record(device)->dhcpEnabled, 0);
    EXPECT_EQ(Record(device)->hasDhcp, 1);
}

TEST_F(ReceiverEntryTest, ShortReplyLacksTheGroupsItIsTooShortFor)
{
    SimulatedDevice device = Device(1);
    device.dhcp = true;
    Short(device, 0, 70);
    const DeviceRecord* record = Record(device);
    EXPECT_EQ(record->hasDns, 1u);
    EXPECT_EQ(record->hasDhcp, 1);

    Short(device, 0, 50);
    EXPECT_EQ(record->port1, 0);
    EXPECT_EQ(record->port2, 0);
    EXPECT_EQ(record->hasDns, 0u);
    EXPECT_EQ(record->hasDhcp, 0);
    EXPECT_EQ(record->dns1[0], 192) << "DNS servers are kept";
    EXPECT_EQ(record->dhcpEnabled, 1) << "the addressing mode is kept";
}

TEST_F(ReceiverEntryTest, ADeviceWithoutAnAddressKeepsOneRecordAndRow)
{
    Long(Device(1));
    SimulatedDevice device = Device(2);
    device.ip = {0, 0, 0, 0};
    for (int answer = 0; answer < 5; ++answer) {
        Long(device);
        Short(device);
    }
    EXPECT_EQ(bench.RecordCount(), 2);
    EXPECT_EQ(Rows(), (QStringList{"1 dev1 192.168.001.011", "2 dev2 000.000.000.000"}));
    device.ip = {192, 168, 1, 40}; // its address arrives
    Short(device);
    EXPECT_EQ(Rows(), (QStringList{"1 dev1 192.168.001.011", "2 dev2 192.168.001.040"}));
}

TEST_F(ReceiverEntryTest, RecordFieldsAreBoundedCopies)
{
    SimulatedDevice device = Device(1);
    device.name = "ABCDEFGHIJKLMNOPQRSTUV"; // only 18 bytes travel
    device.interfaceName = "ab";
    Short(device);
    const DeviceRecord* record = Record(device);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(record->name.data())), "ABCDEFGHIJKLMNOPQR");
    const std::array<std::uint8_t, 5> interfaceName{'a', 'b', 0, 0, 0};
    EXPECT_EQ(record->interfaceName, interfaceName);
    EXPECT_EQ(bench.Rows().front().nameText, QStringLiteral("ABCDEFGHIJKLMNOPQR"));
}

TEST_F(ReceiverEntryTest, UpdateNoticeMovesTheRowUnderItsOwnNumber)
{
    for (std::uint8_t n = 1; n <= 3; ++n)
        Short(Device(n));
    SimulatedDevice first = Device(1);
    first.name = "moved";
    first.gateway = {192, 168, 1, 254};
    first.ip = {10, 9, 9, 9};
    Short(first, 1);
    // Numbers stay unique: the device keeps "1" rather than taking the count of rows left.
    EXPECT_EQ(Rows(), (QStringList{"2 dev2 192.168.001.012", "3 dev3 192.168.001.013", "1 moved 010.009.009.009"}));
    const DeviceRecord* record = Record(first);
    EXPECT_EQ(record->listIndex, 0);
    EXPECT_EQ(record->gateway[3], 254);
    EXPECT_EQ(record->ipAddress[0], 192) << "a notice does not change the record's address";
    EXPECT_EQ(bench.table.FindDeviceByListIndex(0), record);
}

// Rejected datagrams, a failed receive, notices of devices not listed and replies of other kinds.
TEST_F(ReceiverEntryTest, WhatIsNotAReplyOfAListedDeviceLeavesNoTrace)
{
    SimulatedDevice device = Device(1);
    Short(device, 0, 49);
    Short(device, 0, 1001);
    HandleShortFormDatagram(bench.shared, {});
    auto longer = devsim::LongFormReply(device);
    longer.push_back(0);
    HandleLongFormDatagram(bench.shared, longer);
    Long(device, 0x31);
    Short(Device(2), 1);
    Short(Device(3), 2);
    Short(Device(4), 255);
    EXPECT_EQ(bench.RecordCount(), 0);
    EXPECT_TRUE(bench.Rows().empty());
    EXPECT_TRUE(bench.PostedBoxes().empty());
}

TEST_F(ReceiverEntryTest, PasswordFailureIsShownOneAtATimeAndOncePerDeviceInTenSeconds)
{
    Long(Device(1), 3);
    Long(Device(2), 3);
    const QString expected = QStringLiteral("[%1] %2").arg(platform::ApplicationName(), kPasswordFailureText);
    EXPECT_EQ(bench.PostedBoxes(), std::vector<QString>{expected});
    EXPECT_EQ(bench.RecordCount(), 2) << "the replies still count";
    bench.CloseBoxes();
    Long(Device(1), 3);
    EXPECT_EQ(bench.PostedBoxes().size(), 1u) << "device 1 was shown less than 10 s ago";
    Long(Device(2), 3);
    EXPECT_EQ(bench.PostedBoxes().size(), 2u);

    PasswordNotices notices;
    const auto start = PasswordNotices::Clock::now();
    const std::pair<int, bool> shownAtSecond[] = {{0, true}, {1, false}, {9, false}, {10, true}, {15, false}, {20, true}};
    for (const auto& [second, shown] : shownAtSecond) {
        EXPECT_EQ(notices.Admit(Device(1).mac, start + std::chrono::seconds(second)), shown) << second;
        notices.Closed();
    }
}

TEST_F(ReceiverEntryTest, AFullTableDropsNewDevicesCountsThemAndStillFollowsKnownOnes)
{
    for (std::uint32_t i = 0; i < 70000; ++i) {
        SimulatedDevice device = Device(1);
        device.mac = {0x02, 0x77, 0, static_cast<std::uint8_t>(i >> 16), static_cast<std::uint8_t>(i >> 8),
                      static_cast<std::uint8_t>(i)};
        Short(device, 0, 50);
    }
    ASSERT_EQ(bench.RecordCount(), 65536);
    EXPECT_EQ(bench.Rows().size(), 65536u);
    EXPECT_EQ(bench.table.DroppedDevices(), 70000u - 65536u);

    SimulatedDevice known = Device(1);
    known.mac = {0x02, 0x77, 0, 0, 0, 5};
    known.port1 = 8081;
    Short(known, 0, 60);
    EXPECT_EQ(Record(known)->port1, 8081);

    // Said once per search, when the next search (or the close) frees the table.
    testing::internal::CaptureStderr();
    bench.table.FreeAllDevices();
    bench.table.FreeAllDevices();
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("4464 more devices"), std::string::npos) << said;
    EXPECT_EQ(said.find("quillon:"), said.rfind("quillon:")) << said;
    EXPECT_EQ(bench.table.DroppedDevices(), 0u);
    Short(known, 0, 60);
    EXPECT_EQ(bench.RecordCount(), 1) << "a freed table takes devices again";
}
