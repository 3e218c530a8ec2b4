// Private parts that the pieces of TDataGrid (datagrid.cpp, datagrid_paint.cpp,
// datagrid_input.cpp) share: the text conversion and the grid's data link.
// Not part of the contract in datagrid.h.

#pragma once

#include "controls/datagrid.h"

#include <QString>

#include <string>

namespace controls::detail {

inline QString ToQ(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace controls::detail

// --- the data link

class TDataGrid::Link : public TDataLink {
public:
    explicit Link(TDataGrid& grid) : grid_(grid) {}

protected:
    void ActiveChanged() override { grid_.LinkActiveChanged(); }
    void DataSetChanged() override { grid_.LinkDataChanged(); }
    void DataSetScrolled(int /*distance*/) override { grid_.LinkDataChanged(); }
    void RecordChanged(TField* /*field*/) override { grid_.viewport()->update(); }
    void EditingChanged() override { grid_.viewport()->update(); }
    void LayoutChanged() override { grid_.LinkLayoutChanged(); }

private:
    TDataGrid& grid_;
};
