#pragma once

#include <QString>


namespace quillon::devices {

// The device list's columns: the row number (the record's listIndex + 1), the device name and
// its address text.
enum class Column { Number = 0, Name = 1, Address = 2 };
inline constexpr int kColumnCount = 3;

// One row's texts, in column order.
struct DeviceRowTexts {
    QString numberText;
    QString nameText;
    QString addressText;

    const QString& Text(Column column) const
    {
        return column == Column::Number ? numberText : column == Column::Name ? nameText : addressText;
    }
    bool operator==(const DeviceRowTexts&) const = default;
};

// The operations the device table needs from the list that shows its devices. The device table
// calls the row operations only between BeginUpdate and EndUpdate, so that a find, delete and
// insert forms one unit that no reordering of the list can fall into.
class DeviceRows {
public:
    virtual ~DeviceRows() = default;

    virtual void BeginUpdate() = 0;
    virtual void EndUpdate() = 0;

    virtual int RowCount() const = 0;
    // Inserts a row with all three texts at `position` and returns the row's index.
    virtual int InsertDeviceRow(int position, const DeviceRowTexts& texts) = 0;
    virtual void DeleteRow(int row) = 0;
    virtual void ReplaceRow(int row, const DeviceRowTexts& texts) = 0;
    virtual QString RowText(int row, Column column) const = 0;
};

// Holds an update of the rows open for one scope.
class RowUpdate {
public:
    explicit RowUpdate(DeviceRows& rows) : rows_(rows) { rows_.BeginUpdate(); }
    ~RowUpdate() { rows_.EndUpdate(); }
    RowUpdate(const RowUpdate&) = delete;
    RowUpdate& operator=(const RowUpdate&) = delete;

private:
    DeviceRows& rows_;
};

} // namespace quillon::devices
