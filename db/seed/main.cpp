// hisdb-seed: writes SQL for the HIS tables to standard output, loadable by
// SQLite and PostgreSQL alike.
//
//   hisdb-seed --demo [--today YYYY-MM-DD]   demo data around today's date
//   hisdb-seed --bulk N [--seed S]           N rows each in TDictDiagICD,
//                                            TDictOperCM and TEmployee
#include <cstdint>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "db/seed/generator.h"

namespace {

int Usage()
{
    std::cerr << "usage: hisdb-seed --demo [--today YYYY-MM-DD]\n"
                 "       hisdb-seed --bulk N [--seed S]\n";
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        std::vector<std::string> args(argv + 1, argv + argc);
        std::string mode;
        long bulk = 0;
        std::uint64_t seedValue = 1;
        seed::Day today = seed::Today();
        for (std::size_t i = 0; i < args.size(); ++i) {
            const std::string& a = args[i];
            const bool hasValue = i + 1 < args.size();
            if (a == "--demo") {
                mode = a;
            } else if (a == "--bulk" && hasValue) {
                mode = a;
                bulk = std::stol(args[++i]);
                if (bulk < 0 || bulk > 50'000'000)
                    return Usage();
            } else if (a == "--today" && hasValue) {
                today = seed::ParseDay(args[++i]);
            } else if (a == "--seed" && hasValue) {
                seedValue = std::stoull(args[++i]);
            } else {
                return Usage();
            }
        }
        std::ios::sync_with_stdio(false);
        if (mode == "--demo") {
            seed::WriteDemo(std::cout, today);
        } else if (mode == "--bulk") {
            seed::WriteBulk(std::cout, bulk, seedValue);
        } else {
            return Usage();
        }
        std::cout.flush();
        return std::cout ? 0 : 1;
    } catch (const std::exception& e) {
        std::cerr << "hisdb-seed: " << e.what() << "\n";
        return 1;
    }
}
