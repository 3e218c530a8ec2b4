// A dataset over rows held in memory, for the cases that need no database:
// field rules, the editing cycle and the notices to links.
#pragma once

#include <vector>

#include "data/dataset/dataset.h"
#include "data/dataset/db_errors.h"

namespace datasettest {

class TMemoryDataSet : public TDataSet {
public:
    using TDataSet::TDataSet;
    ~TMemoryDataSet() override { Close(); }

    // Source rows, one value per data field in field order.
    std::vector<std::vector<dataset::Variant>> rows;
    bool editable = true;
    // Reading this row (from 0) fails as an engine's cursor can; -1: never.
    int failFetchAt = -1;
    int fetches = 0;
    int posts = 0;

    [[nodiscard]] bool CanModify() const override { return Active() && editable; }

protected:
    void InternalOpen() override
    {
        AssignSlots();
        next_ = 0;
        fetches = 0;
    }
    bool InternalFetch(std::vector<dataset::Variant>& values) override
    {
        if (next_ >= rows.size()) {
            return false;
        }
        if (static_cast<int>(next_) == failFetchAt) {
            throw EDatabaseError("cursor lost");
        }
        ++fetches;
        for (std::size_t i = 0; i < values.size() && i < rows[next_].size(); ++i) {
            values[i] = rows[next_][i];
        }
        ++next_;
        return true;
    }
    void InternalPost(Record& /*record*/, bool /*inserted*/) override { ++posts; }
    bool InternalDelete(Record& /*record*/) override { return false; }

private:
    std::size_t next_ = 0;
};

}  // namespace datasettest
