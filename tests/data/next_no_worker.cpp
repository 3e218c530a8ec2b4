// A workstation taking application numbers, for the concurrency test:
//   next_no_worker COUNT [hold]
// logs in to the alias HIS (spemr) through the data module, takes COUNT
// numbers with NextOperationPlanNo and prints each on a line of its own.
// With "hold" it first opens a list over TOperationPlan, reads a few rows and
// keeps it open while it takes the numbers, then reads the list to its end.
// Exits 0 when all went well; else prints the error and exits 1.
#include "data/DMIntefaceUnit.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string_view>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s COUNT [hold]\n", argv[0]);
        return 2;
    }
    const int count = std::atoi(argv[1]);
    const bool hold = argc > 2 && std::string_view(argv[2]) == "hold";
    try {
        TDMInteface dm;
        dm.DatabaseHIS->Params().SetValues("USER NAME", "spemr");
        dm.DatabaseHIS->Params().SetValues("PASSWORD", "kvrt3816#");
        dm.DatabaseHIS->Open();
        TQuery& list = *dm.QDict;
        if (hold) {
            list.SQL().Add("select FSerialNo, FName from TOperationPlan order by FSerialNo");
            list.Open();
            list.Next();
            list.Next();
        }
        for (int i = 0; i < count; ++i) {
            std::printf("%d\n", dm.NextOperationPlanNo());
        }
        if (hold) {
            list.Last();
            list.Close();
        }
        dm.DatabaseHIS->Close();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
