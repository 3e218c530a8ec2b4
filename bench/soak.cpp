// A soak of many workstations on one database: each worker process is a
// ward's workstation driving the data module in a loop (the day's list read,
// a new application numbered and stored, one of its waiting applications
// modified, now and then one deleted, both pickers searched), while this
// process plays the operating theatre and arranges applications (gives them
// a room) as they come in, so that a workstation's modification now and then
// meets an application arranged since its list was read.
//
//   bench_soak [--processes N] [--seconds S] [--postgres]
//
// At the end it checks the database against what the workers report: every
// number taken distinct and the counter advanced by exactly the numbers
// taken, every stored application present and every deleted one gone, no
// failure but refused modifications ("Update failed"), the memory of each
// worker flat; and prints the operations a second, the failures by kind and
// the store latency (median, 99th percentile). Exit status 1 when a check
// fails. Not part of the test run: scripts/soak runs it.
#include "data/DMIntefaceUnit.h"
#include "data/dataset/db_errors.h"
#include "data/dataset/locale_settings.h"
#include "tests/support/test_env.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
namespace loc = dataset::locale;

std::string DayText(int offset)
{
    return loc::FromDayNumber(loc::DayNumber(loc::Today()) + offset).ToIso().substr(0, 10);
}

std::string Department(int worker)
{
    char code[8];
    std::snprintf(code, sizeof code, "9%03d", worker);
    return code;
}

// What one workstation did, as it reports it.
struct Report {
    long allocations = 0;  // numbers taken
    std::vector<long> stored;   // numbers of new applications stored
    std::vector<long> deleted;  // numbers deleted
    long modified = 0;
    long refused = 0;  // modifications and deletions refused: arranged meanwhile
    long searches = 0;
    long lists = 0;
    std::map<std::string, long> errors;  // any other failure, by its text
    std::vector<double> storeMs;
    long rssWarm = 0;
    long rssMid = 0;  // half way through
    long rssEnd = 0;
};

// ------------------------------------------------------------------ worker

class Workstation {
public:
    Workstation(int index, std::mt19937& random) : random_(random)
    {
        dataset::SetErrorBoxHook([this](const std::string& message) { boxes_.push_back(message); });
        dm_.DatabaseHIS->Params().SetValues("USER NAME", "spemr");
        dm_.DatabaseHIS->Params().SetValues("PASSWORD", "kvrt3816#");
        dm_.DatabaseHIS->Open();
        dm_.DepartmentCode = Department(index);
    }

    void Round(Report& report, int round)
    {
        Guarded(report, "the list read", [&] {
            ReadList();
            ++report.lists;
        });
        Guarded(report, "a new application", [&] { Create(report); });
        Guarded(report, "a modification", [&] { Modify(report, round); });
        // A ward's list stays about as long as a day's: beyond 20 rows
        // every round deletes one, else every third.
        if (round % 3 == 2 || dm_.QOperationPlan->RecordCount() > 20) {
            Guarded(report, "a deletion", [&] { Delete(report); });
        }
        Guarded(report, "the code picker", [&] { Search(*dm_.QDiag, "select FDiagCode as FCode,FName,FInputCode from "
                                                                  "TDictDiagICD where FInputCode like '" + Prefix() + "%'");
                                                  ++report.searches; });
        Guarded(report, "the staff picker", [&] { Search(*dm_.QEmployee, "select * from TEmployee where FInputCode like '"
                                                                       + Prefix() + "%'");
                                                   ++report.searches; });
    }

private:
    template <class Step>
    void Guarded(Report& report, const char* what, Step step)
    {
        boxes_.clear();
        try {
            step();
        } catch (const EAbort&) {
            // An apply's failure: its box told what.
            for (const std::string& box : boxes_) {
                ++report.errors[std::string(what) + ": " + box];
            }
            if (boxes_.empty()) {
                ++report.errors[std::string(what) + ": aborted without a message"];
            }
            Discard();
        } catch (const std::exception& e) {
            ++report.errors[std::string(what) + ": " + e.what()];
            Discard();
        }
    }

    void Discard()
    {
        TQuery& plan = *dm_.QOperationPlan;
        try {
            if (plan.Active() && (plan.State() == dsEdit || plan.State() == dsInsert)) {
                plan.Cancel();
            }
            if (plan.Active() && plan.UpdatesPending()) {
                plan.CancelUpdates();
            }
        } catch (const std::exception&) {
        }
    }

    void ReadList()
    {
        TQuery& q = *dm_.QOperationPlan;
        q.Close();
        q.SQL().Clear();
        q.SQL().Add("select * from TOperationPlan ");
        q.SQL().Add("where FOperDate >= '" + DayText(0) + "' ");
        q.SQL().Add("and FOperDate < '" + DayText(1) + "' ");
        q.SQL().Add("and FDeptCode = '" + dm_.DepartmentCode + "' ");
        q.SQL().Add("order by FOperDate,FOperRoom,FTime ");
        q.Open();
    }

    // Stores the cached change as the editor does; true when it was stored,
    // false when it was refused as arranged meanwhile.
    bool Store(Report& report)
    {
        TQuery& plan = *dm_.QOperationPlan;
        boxes_.clear();
        const auto start = Clock::now();
        try {
            plan.ApplyUpdates();
        } catch (const EAbort&) {
            if (boxes_.size() == 1 && boxes_[0] == "Update failed") {
                ++report.refused;
                plan.CancelUpdates();
                return false;
            }
            throw;
        }
        plan.CommitUpdates();
        report.storeMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        return true;
    }

    void Create(Report& report)
    {
        const int number = dm_.NextOperationPlanNo();
        ++report.allocations;
        TQuery& plan = *dm_.QOperationPlan;
        plan.Append();
        dm_.QOperationPlanFSerialNo->SetAsInteger(number);
        hisdb::DateTime day;
        hisdb::DateTime::FromIso(DayText(0), day);
        dm_.QOperationPlanFOperDate->SetAsDateTime(day);
        dm_.QOperationPlanFTime->SetAsString(" 9:30");
        dm_.QOperationPlanFName->SetAsString("病人" + std::to_string(number % 1000));
        dm_.QOperationPlanFSex->SetAsString(number % 2 == 0 ? "女" : "男");
        dm_.QOperationPlanFAge->SetAsFloat(30 + number % 50);
        dm_.QOperationPlanFInNo->SetAsString("Z" + std::to_string(number % 10000000));
        dm_.QOperationPlanFDeptCode->SetAsString(dm_.DepartmentCode);
        dm_.QOperationPlanFBedNo->SetAsString(std::to_string(number % 60 + 1));
        dm_.QOperationPlanFBloodType->SetAsString("A型");
        dm_.QOperationPlanFDiag->SetAsString("急性阑尾炎");
        dm_.QOperationPlanFDiagCode->SetAsString("K35.902");
        dm_.QOperationPlanFOper->SetAsString("腹腔镜下阑尾切除术");
        dm_.QOperationPlanFOperCode->SetAsString("47.0101");
        dm_.QOperationPlanFOperator->SetAsString("张伟");
        dm_.QOperationPlanFAnaesthesia->SetAsString("全麻");
        dm_.QOperationPlanFUser->SetAsString("李医生");
        dm_.QOperationPlanFStatus->SetAsInteger(0);
        plan.Post();
        if (Store(report)) {
            report.stored.push_back(number);
        }
    }

    // Moves the list to a random application still waiting for a room, as
    // its list shows it; false when there is none.
    bool ToWaiting()
    {
        TQuery& plan = *dm_.QOperationPlan;
        std::vector<int> waiting;
        int at = 0;
        for (plan.First(); !plan.Eof(); plan.Next()) {
            if (dm_.QOperationPlanFOperRoom->AsString().empty()) {
                waiting.push_back(at);
            }
            ++at;
        }
        if (waiting.empty()) {
            return false;
        }
        plan.First();
        plan.MoveBy(waiting[std::uniform_int_distribution<std::size_t>(0, waiting.size() - 1)(random_)]);
        return true;
    }

    void Modify(Report& report, int round)
    {
        ReadList();
        if (!ToWaiting()) {
            return;
        }
        TQuery& plan = *dm_.QOperationPlan;
        plan.Edit();
        dm_.QOperationPlanFRemark->SetAsString("第" + std::to_string(round) + "次修改");
        plan.Post();
        if (Store(report)) {
            ++report.modified;
        }
    }

    void Delete(Report& report)
    {
        ReadList();
        if (!ToWaiting()) {
            return;
        }
        TQuery& plan = *dm_.QOperationPlan;
        const long number = dm_.QOperationPlanFSerialNo->AsInteger();
        plan.Delete();
        if (Store(report)) {
            report.deleted.push_back(number);
        }
    }

    std::string Prefix()
    {
        static const char letters[] = "ABCDEFGHJKLMNPQRSTWXYZ";
        std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof letters) - 2);
        return std::string(1, letters[pick(random_)]);
    }

    static void Search(TQuery& query, const std::string& sql)
    {
        query.Close();
        query.SQL().Clear();
        query.SQL().Add(sql);
        query.Open();
        for (int i = 0; i < 20 && !query.Eof(); ++i) {
            query.Next();
        }
        query.Close();
    }

    std::mt19937& random_;
    TDMInteface dm_;
    std::vector<std::string> boxes_;
};

void WriteReport(const Report& r, const std::string& path)
{
    std::ofstream out(path);
    out << "allocations " << r.allocations << "\nmodified " << r.modified << "\nrefused " << r.refused
        << "\nsearches " << r.searches << "\nlists " << r.lists << "\nrss " << r.rssWarm << " " << r.rssMid << " " << r.rssEnd << "\nstored";
    for (long n : r.stored) {
        out << ' ' << n;
    }
    out << "\ndeleted";
    for (long n : r.deleted) {
        out << ' ' << n;
    }
    out << "\nstore_ms";
    for (double ms : r.storeMs) {
        out << ' ' << ms;
    }
    out << '\n';
    for (const auto& [text, count] : r.errors) {
        std::string line = text;
        std::replace(line.begin(), line.end(), '\n', ' ');
        out << "error " << count << ' ' << line << '\n';
    }
}

Report ReadReport(const std::string& path)
{
    Report r;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string key;
        fields >> key;
        if (key == "allocations") {
            fields >> r.allocations;
        } else if (key == "modified") {
            fields >> r.modified;
        } else if (key == "refused") {
            fields >> r.refused;
        } else if (key == "searches") {
            fields >> r.searches;
        } else if (key == "lists") {
            fields >> r.lists;
        } else if (key == "rss") {
            fields >> r.rssWarm >> r.rssMid >> r.rssEnd;
        } else if (key == "stored" || key == "deleted") {
            std::vector<long>& into = key == "stored" ? r.stored : r.deleted;
            for (long n = 0; fields >> n;) {
                into.push_back(n);
            }
        } else if (key == "store_ms") {
            for (double ms = 0; fields >> ms;) {
                r.storeMs.push_back(ms);
            }
        } else if (key == "error") {
            long count = 0;
            fields >> count;
            std::string text;
            std::getline(fields, text);
            r.errors[text.substr(text.empty() ? 0 : 1)] += count;
        }
    }
    return r;
}

// Rounds before a workstation's memory is first measured: its caches and
// sessions are made by then.
constexpr int kWarmRounds = 200;

int RunWorker(int index, int seconds, const std::string& reportPath)
{
    std::mt19937 random(static_cast<unsigned>(index * 7919 + 17));
    Report report;
    try {
        Workstation station(index, random);
        const auto end = Clock::now() + std::chrono::seconds(seconds);
        const auto mid = Clock::now() + std::chrono::seconds(seconds) / 2;
        for (int round = 0; Clock::now() < end; ++round) {
            station.Round(report, round);
            if (round == kWarmRounds) {
                report.rssWarm = testenv::ResidentKiB();
            }
            if (report.rssMid == 0 && Clock::now() >= mid) {
                report.rssMid = testenv::ResidentKiB();
            }
        }
    } catch (const std::exception& e) {
        ++report.errors[std::string("the workstation: ") + e.what()];
    }
    report.rssEnd = testenv::ResidentKiB();
    WriteReport(report, reportPath);
    return 0;
}

// ------------------------------------------------------------------ parent

std::string Seed()
{
    std::string sql;
    const char* letters = "ABCDEFGHJKLMNPQRSTWXYZ";
    for (int i = 0; i < 2000; ++i) {
        const std::string code = "S" + std::to_string(10000 + i);
        std::string input;
        for (int k = 0, v = i; k < 4; ++k, v /= 22) {
            input += letters[v % 22];
        }
        sql += "insert into TDictDiagICD (FDiagCode, FName, FInputCode) values ('" + code + "', '诊断" + std::to_string(i)
               + "', '" + input + "');\n";
        if (i < 400) {
            sql += "insert into TEmployee (FEmployeeID, FName, FInputCode, FDeptCode, FJob) values ('E" + std::to_string(10000 + i)
                   + "', '职工" + std::to_string(i) + "', '" + input + "', '0301', '医生');\n";
        }
    }
    return sql;
}

double Percentile(std::vector<double> values, double p)
{
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const auto at = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(at, values.size() - 1)];
}

}  // namespace

int main(int argc, char** argv)
{
    int processes = 16;
    int seconds = 600;
    bool postgres = false;
    int worker = -1;
    std::string reportPath;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--processes") == 0 && i + 1 < argc) {
            processes = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--postgres") == 0) {
            postgres = true;
        } else if (std::strcmp(argv[i], "--worker") == 0 && i + 2 < argc) {
            worker = std::atoi(argv[++i]);
            reportPath = argv[++i];
        } else {
            std::fprintf(stderr, "usage: bench_soak [--processes N] [--seconds S] [--postgres]\n");
            return 2;
        }
    }
    setenv("OPEREDIT_SOURCE_DIR", OPEREDIT_DEFAULT_SOURCE_DIR, 0);
    if (worker >= 0) {
        return RunWorker(worker, seconds, reportPath);
    }

    testenv::HisDatabase db(postgres ? testenv::Backend::Postgres : testenv::Backend::Sqlite);
    if (!db.Available()) {
        std::fprintf(stderr, "bench_soak: the PostgreSQL test cluster is not configured (OPEREDIT_PG_CONNECT)\n");
        return 2;
    }
    db.RunScript(Seed());
    db.Exec("update TNextOperationPlanNo set FNext = 1000");
    const long counterBefore = std::stol(db.Scalar("select FNext from TNextOperationPlanNo"));

    std::vector<pid_t> children;
    for (int i = 0; i < processes; ++i) {
        const std::string index = std::to_string(i);
        const std::string report = db.Dir() + "/report-" + index;
        const std::string secondsText = std::to_string(seconds);
        std::vector<std::string> args = {"/proc/self/exe", "--seconds", secondsText, "--worker", index, report};
        std::vector<char*> argvChild;
        for (std::string& a : args) {
            argvChild.push_back(a.data());
        }
        argvChild.push_back(nullptr);
        pid_t pid = 0;
        if (posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argvChild.data(), environ) != 0) {
            std::perror("bench_soak: posix_spawn");
            return 2;
        }
        children.push_back(pid);
    }

    // The operating theatre: every 100 ms one of the newest waiting
    // applications gets a room; every second those operated on (all but the
    // newest 50 arranged) leave the day's lists.
    long arranged = 0;
    long tick = 0;
    std::mt19937 random(4711);
    const auto start = Clock::now();
    const auto end = start + std::chrono::seconds(seconds);
    while (Clock::now() < end) {
        try {
            const std::string newest = db.Scalar("select max(FSerialNo) from TOperationPlan where FOperRoom is null");
            if (!newest.empty()) {
                const long pick = std::stol(newest) - std::uniform_int_distribution<long>(0, 20)(random);
                arranged += db.Exec("update TOperationPlan set FOperRoom = '1' where FSerialNo = " + std::to_string(pick)
                                    + " and FOperRoom is null");
            }
            if (++tick % 10 == 0) {
                db.Exec("update TOperationPlan set FOperDate = '" + DayText(-1) + " 00:00:00' where FOperRoom is not null "
                        "and FSerialNo < (select min(FSerialNo) from (select FSerialNo from TOperationPlan where "
                        "FOperRoom is not null order by FSerialNo desc limit 50) newest)");
            }
        } catch (const std::exception& e) {
            std::fprintf(stderr, "bench_soak: arranging: %s\n", e.what());
        }
        usleep(100'000);
    }
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "bench_soak: a workstation ended abnormally (status %d)\n", status);
        }
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();

    // What the workstations report against what the database holds.
    bool ok = true;
    const auto fail = [&ok](const std::string& what) {
        std::printf("CHECK FAILED: %s\n", what.c_str());
        ok = false;
    };
    long allocations = 0, storedCount = 0, deletedCount = 0, modified = 0, refused = 0, searches = 0, lists = 0;
    std::map<std::string, long> errors;
    std::vector<double> storeMs;
    std::set<long> numbers;
    std::vector<long> present;
    std::vector<long> gone;
    long worstGrowth = 0;
    long worstLateGrowth = 0;  // in the second half alone
    for (int i = 0; i < processes; ++i) {
        const Report r = ReadReport(db.Dir() + "/report-" + std::to_string(i));
        allocations += r.allocations;
        modified += r.modified;
        refused += r.refused;
        searches += r.searches;
        lists += r.lists;
        storedCount += static_cast<long>(r.stored.size());
        deletedCount += static_cast<long>(r.deleted.size());
        for (long n : r.stored) {
            if (!numbers.insert(n).second) {
                fail("number " + std::to_string(n) + " stored twice");
            }
        }
        const std::set<long> deleted(r.deleted.begin(), r.deleted.end());
        for (long n : r.stored) {
            (deleted.count(n) != 0 ? gone : present).push_back(n);
        }
        for (const auto& [text, count] : r.errors) {
            errors[text] += count;
        }
        storeMs.insert(storeMs.end(), r.storeMs.begin(), r.storeMs.end());
        if (r.rssWarm > 0) {
            worstGrowth = std::max(worstGrowth, r.rssEnd - r.rssWarm);
        }
        if (r.rssMid > 0) {
            worstLateGrowth = std::max(worstLateGrowth, r.rssEnd - r.rssMid);
        }
    }
    const long counterAfter = std::stol(db.Scalar("select FNext from TNextOperationPlanNo"));
    if (counterAfter - counterBefore != allocations) {
        fail("the counter moved by " + std::to_string(counterAfter - counterBefore) + " for " + std::to_string(allocations)
             + " numbers taken");
    }
    const long rows = std::stol(db.Scalar("select count(*) from TOperationPlan"));
    if (rows != storedCount - deletedCount) {
        fail(std::to_string(rows) + " rows for " + std::to_string(storedCount) + " stored and " + std::to_string(deletedCount)
             + " deleted");
    }
    long missing = 0;
    for (long n : present) {
        missing += db.Scalar("select count(*) from TOperationPlan where FSerialNo = " + std::to_string(n)) != "1";
    }
    long left = 0;
    for (long n : gone) {
        left += db.Scalar("select count(*) from TOperationPlan where FSerialNo = " + std::to_string(n)) != "0";
    }
    if (missing != 0 || left != 0) {
        fail(std::to_string(missing) + " stored applications missing, " + std::to_string(left) + " deleted ones left");
    }
    if (!errors.empty()) {
        fail("failures other than refused modifications");
    }

    const long operations = lists + storedCount + modified + deletedCount + refused + searches;
    std::printf("engine              %s\n", postgres ? "PostgreSQL" : "SQLite");
    std::printf("workstations        %d for %.0f s\n", processes, elapsed);
    std::printf("operations          %ld (%.1f a second): %ld list reads, %ld new, %ld modified, %ld deleted, "
                "%ld refused as arranged meanwhile, %ld picker searches\n",
                operations, operations / elapsed, lists, storedCount, modified, deletedCount, refused, searches);
    std::printf("arranged            %ld applications given a room meanwhile\n", arranged);
    std::printf("numbers             %ld taken, %zu stored, all distinct; counter %ld -> %ld\n", allocations,
                numbers.size(), counterBefore, counterAfter);
    std::printf("store latency       median %.1f ms, 99th percentile %.1f ms (%zu stores)\n", Percentile(storeMs, 0.5),
                Percentile(storeMs, 0.99), storeMs.size());
    std::printf("worker memory       largest growth after the warm-up %+ld kB, in the second half alone %+ld kB\n",
                worstGrowth, worstLateGrowth);
    std::printf("failures            %s\n", errors.empty() ? "none but the refused modifications" : "");
    for (const auto& [text, count] : errors) {
        std::printf("  %6ld  %s\n", count, text.c_str());
    }
    std::printf("%s\n", ok ? "all checks passed" : "CHECKS FAILED");
    return ok ? 0 : 1;
}
