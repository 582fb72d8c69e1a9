#pragma once

#include <QString>

#include <array>
#include <vector>

namespace quillon::devices {

// The device list's columns: the row number (the record's listIndex + 1), the device name and
// its address text.
enum class Column { Number = 0, Name = 1, Address = 2 };
inline constexpr int kColumnCount = 3;

using RowTexts = std::array<QString, kColumnCount>;

// The operations the device table needs from the list that shows it. The window's list
// implements them; MemoryDeviceRows serves where there is no window.
class DeviceRows {
public:
    virtual ~DeviceRows() = default;
    virtual int RowCount() const = 0;
    // Inserts a row with all three texts at `position` and returns the row's index.
    virtual int InsertRow(int position, const RowTexts& texts) = 0;
    virtual void DeleteRow(int row) = 0;
    virtual QString RowText(int row, Column column) const = 0;
};

class MemoryDeviceRows final : public DeviceRows {
public:
    int RowCount() const override { return static_cast<int>(rows_.size()); }
    int InsertRow(int position, const RowTexts& texts) override;
    void DeleteRow(int row) override;
    QString RowText(int row, Column column) const override;
    void Clear() { rows_.clear(); }

private:
    std::vector<RowTexts> rows_;
};

} // namespace quillon::devices
