// A workstation that stops inside a step, for the test that kills the host
// there:
//   stopped_worker STEP DAY
// logs in to the alias HIS (spemr) through the data module, takes a number
// and stores an application with it on DAY (YYYY-MM-DD) the way the editor
// does, printing "number N" and "stored N". Then it goes into STEP, prints
// "stopped" once it is inside it, and waits to be killed:
//   counter-read       NextOperationPlanNo between its read of the counter and its increment
//   counter-increment  the same steps between the increment and the commit
//   apply-insert       a new application applied inside a transaction, before its commit
//   apply-stored       a new application applied as the editor does, before CommitUpdates
//   list-reread        the day's list opened again and read in part
// Any error is printed and ends it with 1.
#include "data/DMIntefaceUnit.h"

#include "data/dataset/db_errors.h"

#include <unistd.h>

#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

namespace {

[[noreturn]] void Stop()
{
    std::printf("stopped\n");
    std::fflush(stdout);
    for (;;) {
        pause();
    }
}

void OpenDay(TDMInteface& dm, const std::string& day)
{
    TQuery& plan = *dm.QOperationPlan;
    plan.Close();
    plan.SQL().Clear();
    plan.SQL().Add("select * from TOperationPlan ");
    plan.SQL().Add("where FOperDate >= '" + day + "' and FDeptCode = '0301' ");
    plan.SQL().Add("order by FOperDate,FOperRoom,FTime ");
    plan.Open();
}

// A new application as the editor makes it, posted into the cache.
void AppendApplication(TDMInteface& dm, int number, const std::string& day)
{
    dm.QOperationPlan->Append();
    dm.QOperationPlanFSerialNo->SetAsInteger(number);
    hisdb::DateTime date;
    hisdb::DateTime::FromIso(day, date);
    dm.QOperationPlanFOperDate->SetAsDateTime(date);
    dm.QOperationPlanFTime->SetAsString(" 9:30");
    dm.QOperationPlanFName->SetAsString("王秀英");
    dm.QOperationPlanFDeptCode->SetAsString("0301");
    dm.QOperationPlanFBedNo->SetAsString("12");
    dm.QOperationPlanFBloodType->SetAsString("A型");
    dm.QOperationPlanFDiag->SetAsString("急性阑尾炎");
    dm.QOperationPlanFDiagCode->SetAsString("K35.902");
    dm.QOperationPlanFOper->SetAsString("腹腔镜下阑尾切除术");
    dm.QOperationPlanFOperCode->SetAsString("47.0101");
    dm.QOperationPlanFOperator->SetAsString("张伟");
    dm.QOperationPlanFAnaesthesia->SetAsString("全麻");
    dm.QOperationPlanFUser->SetAsString("李医生");
    dm.QOperationPlanFStatus->SetAsInteger(0);
    dm.QOperationPlan->Post();
}

int TakeNumber(TDMInteface& dm)
{
    const int number = dm.NextOperationPlanNo();
    std::printf("number %d\n", number);
    std::fflush(stdout);
    return number;
}

void Run(std::string_view step, const std::string& day)
{
    TDMInteface dm;
    dm.DatabaseHIS->Params().SetValues("USER NAME", "spemr");
    dm.DatabaseHIS->Params().SetValues("PASSWORD", "kvrt3816#");
    dm.DatabaseHIS->Open();
    const int first = TakeNumber(dm);
    OpenDay(dm, day);
    AppendApplication(dm, first, day);
    dm.QOperationPlan->ApplyUpdates();
    dm.QOperationPlan->CommitUpdates();
    std::printf("stored %d\n", first);
    std::fflush(stdout);

    if (step == "counter-read") {
        // NextOperationPlanNo closes QNext right after reading the counter.
        dm.QNext->SetAfterClose([](TDataSet&) { Stop(); });
        (void)dm.NextOperationPlanNo();
    } else if (step == "counter-increment") {
        // NextOperationPlanNo's own steps, on the same components.
        dataset::DatabaseTransaction transaction(*dm.DatabaseHIS, "TNextOperationPlanNo");
        dm.QNext->SQL().Clear();
        dm.QNext->SQL().Add("select FNext from TNextOperationPlanNo ");
        dm.QNext->Open();
        (void)dm.QNext->Fields()[0]->AsInteger();
        dm.QNext->Close();
        dm.QUpdateSQL->SQL().Clear();
        dm.QUpdateSQL->SQL().Add("update TNextOperationPlanNo Set FNext=FNext+1 ");
        dm.QUpdateSQL->ExecSQL();
        Stop();
    } else if (step == "apply-insert" || step == "apply-stored") {
        AppendApplication(dm, TakeNumber(dm), day);
        if (step == "apply-insert") {
            dataset::DatabaseTransaction transaction(*dm.DatabaseHIS);
            dm.QOperationPlan->ApplyUpdates();
            Stop();
        }
        dm.QOperationPlan->ApplyUpdates();
        Stop();
    } else if (step == "list-reread") {
        OpenDay(dm, day);
        dm.QOperationPlan->Next();
        dm.QOperationPlan->Next();
        Stop();
    }
    throw std::runtime_error("unknown step " + std::string(step));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s STEP DAY\n", argv[0]);
        return 2;
    }
    try {
        Run(argv[1], argv[2]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 1;
}
