// The data module of one call, as the entry makes it: created, logged in to
// the database behind HIS with the module's login, holding the call values.
// For tests that link the data module; the caller deletes DMInteface.
#pragma once

#include "data/DMIntefaceUnit.h"

#include <string>

namespace testenv {

inline void OpenDataModule(const std::string& applicant = "李医生", const std::string& deptCode = "0301",
                           const std::string& deptName = "普外科")
{
    DMInteface = new TDMInteface();
    DMInteface->DatabaseHIS->Params().SetValues("USER NAME", "spemr");
    DMInteface->DatabaseHIS->Params().SetValues("PASSWORD", "kvrt3816#");
    DMInteface->DatabaseHIS->Open();
    DMInteface->ApplicantUser = applicant;
    DMInteface->DepartmentCode = deptCode;
    DMInteface->DepartmentName = deptName;
}

}  // namespace testenv
