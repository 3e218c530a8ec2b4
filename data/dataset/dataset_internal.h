// Private helpers that the parts of TDataSet (dataset.cpp,
// dataset_editing.cpp) share. Not part of the contract in dataset.h.

#pragma once

#include "data/dataset/dataset.h"

namespace dataset::detail {

inline bool IsEditMode(TDataSetState state)
{
    return state == dsEdit || state == dsInsert;
}

}  // namespace dataset::detail
