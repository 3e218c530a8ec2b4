// SQL writers of hisdb-seed.
#include "db/seed/generator.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "db/seed/seed_data.h"

namespace seed {
namespace {

// splitmix64: small, fast, and the same sequence on every platform (the
// standard distributions are not).
class Rng {
public:
    explicit Rng(std::uint64_t seed) : state_(seed) { }
    std::uint64_t Next()
    {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // Uniform in [0, n).
    int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint64_t>(n)); }
    int Between(int lo, int hi) { return lo + Below(hi - lo + 1); }
    bool Percent(int p) { return Below(100) < p; }
    template<class T> const T& Pick(const std::vector<T>& v)
    {
        return v[static_cast<std::size_t>(Below(static_cast<int>(v.size())))];
    }

private:
    std::uint64_t state_;
};

// Width of UTF-8 text in GBK bytes: ASCII 1, every other character 2.
std::size_t GbkWidth(std::string_view s)
{
    std::size_t width = 0;
    for (const unsigned char c : s) {
        if (c < 0x80) {
            ++width;
        } else if ((c & 0xC0) != 0x80) {
            width += 2;
        }
    }
    return width;
}

std::string Quote(std::string_view s)
{
    std::string out = "'";
    for (const char c : s) {
        out += c;
        if (c == '\'') {
            out += '\'';
        }
    }
    return out + "'";
}

// Text value, NULL when empty. Refuses a value wider than its column, so a
// data change that breaks a width fails here rather than in the database.
std::string Text(std::string_view s, std::size_t width)
{
    if (s.empty()) {
        return "NULL";
    }
    if (GbkWidth(s) > width) {
        throw std::length_error("value too wide for " + std::to_string(width) + " bytes: " + std::string(s));
    }
    return Quote(s);
}

std::string DateText(Day day)
{
    const std::chrono::year_month_day ymd(day);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
                  static_cast<unsigned>(ymd.day()));
    return buf;
}

std::string DateTime(Day day, int hour = 0, int minute = 0, int second = 0)
{
    char buf[24];
    std::snprintf(buf, sizeof buf, " %02d:%02d:%02d.000", hour, minute, second);
    return "'" + DateText(day) + buf + "'";
}

} // namespace

Day Today()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return Day(std::chrono::year(local.tm_year + 1900) / (local.tm_mon + 1) / local.tm_mday);
}

Day ParseDay(const std::string& text)
{
    int y = 0;
    unsigned m = 0;
    unsigned d = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%4d-%2u-%2u%c", &y, &m, &d, &tail) != 3) {
        throw std::invalid_argument("not a date (YYYY-MM-DD): " + text);
    }
    const std::chrono::year_month_day ymd{std::chrono::year{y}, std::chrono::month{m}, std::chrono::day{d}};
    if (!ymd.ok()) {
        throw std::invalid_argument("not a date (YYYY-MM-DD): " + text);
    }
    return Day(ymd);
}

namespace {

// Collects rows of one table and writes them as multi-row inserts.
class Inserter {
public:
    Inserter(std::ostream& out, std::string table, std::string columns)
        : out_(out), head_("INSERT INTO " + std::move(table) + " (" + std::move(columns) + ") VALUES\n")
    {
    }
    ~Inserter() { Flush(); }
    Inserter(const Inserter&) = delete;
    Inserter& operator=(const Inserter&) = delete;

    void Row(const std::vector<std::string>& values)
    {
        out_ << (rows_ == 0 ? head_ : std::string(",\n")) << "(";
        for (std::size_t i = 0; i < values.size(); ++i) {
            out_ << (i ? "," : "") << values[i];
        }
        out_ << ")";
        if (++rows_ == kBatch) {
            Flush();
        }
    }
    void Flush()
    {
        if (rows_ > 0) {
            out_ << ";\n";
            rows_ = 0;
        }
    }

private:
    static constexpr int kBatch = 500;
    std::ostream& out_;
    std::string head_;
    int rows_ = 0;
};

struct Person {
    std::string name;
    std::string sex;
};

class NameMaker {
public:
    explicit NameMaker(Rng& rng) : rng_(rng) { }
    // A name of at most four characters (eight GBK bytes), unique among the
    // names this maker has given out.
    Person Make(bool female)
    {
        for (;;) {
            std::string name(rng_.Pick(Surnames()));
            const auto& given = female ? FemaleGivenChars() : MaleGivenChars();
            const int chars = GbkWidth(name) > 2 ? 1 : (rng_.Percent(70) ? 2 : 1);
            for (int i = 0; i < chars; ++i) {
                name += rng_.Pick(given);
            }
            if (used_.insert(name).second) {
                return {name, female ? "女" : "男"};
            }
        }
    }
    void Reserve(const std::string& name) { used_.insert(name); }

private:
    Rng& rng_;
    std::set<std::string> used_;
};

std::string Cut(std::string s, std::size_t bytes)
{
    return s.size() > bytes ? s.substr(0, bytes) : s;
}

void WriteShortLists(std::ostream& out)
{
    const auto list = [&out](const char* table, const std::vector<std::string_view>& names, std::size_t width) {
        Inserter ins(out, table, "FNo,FName");
        int no = 1;
        for (const auto name : names) {
            ins.Row({std::to_string(no++), Text(name, width)});
        }
    };
    list("TDictBloodTypeA", BloodTypes(), 20);
    list("TDictAssay", AssayFindings(), 50);
    list("TDictAnaesthesia", AnaesthesiaMethods(), 8);
}

void WriteDictionaries(std::ostream& out)
{
    const auto dict = [&out](const char* table, const char* codeColumn, const std::vector<CodeName>& rows) {
        Inserter ins(out, table, std::string(codeColumn) + ",FName,FInputCode");
        for (const auto& row : rows) {
            ins.Row({Text(row.code, 16), Text(row.name, 40), Text(Cut(PinyinInitials(row.name), 10), 10)});
        }
    };
    dict("TDictDiagICD", "FDiagCode", Diagnoses());
    dict("TDictOperCM", "FOperCode", Operations());
}

struct Staff {
    std::string id;
    std::string name;
    std::string deptCode;
    std::string job;
    std::string title;
};

struct Patient {
    std::string inNo;
    std::string name;
    std::string sex;
    Day birthDay;
    std::string deptCode;
    std::string bedNo;
    Day inDay;
    int status = 2;
};

// 18-character resident identity number with its ISO 7064 check character.
std::string IdCardNo(Rng& rng, Day birthDay, bool female)
{
    static const std::vector<std::string> regions = {"110105", "310104", "440106", "330106", "420102", "510107"};
    const std::string date = DateText(birthDay);
    std::string id = rng.Pick(regions) + date.substr(0, 4) + date.substr(5, 2) + date.substr(8, 2);
    int seq = rng.Between(0, 99) * 10 + rng.Between(0, 4) * 2 + (female ? 0 : 1);
    char buf[8];
    std::snprintf(buf, sizeof buf, "%03d", seq);
    id += buf;
    static const int weights[17] = {7, 9, 10, 5, 8, 4, 2, 1, 6, 3, 7, 9, 10, 5, 8, 4, 2};
    int sum = 0;
    for (int i = 0; i < 17; ++i) {
        sum += (id[static_cast<std::size_t>(i)] - '0') * weights[i];
    }
    id += "10X98765432"[sum % 11];
    return id;
}

// Age in whole 365-day years, half-way going to the even number.
int AgeOn(Day birthDay, Day day)
{
    const double years = static_cast<double>((day - birthDay).count()) / 365.0;
    const double floor = static_cast<double>(static_cast<long long>(years));
    const double frac = years - floor;
    if (frac > 0.5 || (frac == 0.5 && static_cast<long long>(floor) % 2 == 1)) {
        return static_cast<int>(floor) + 1;
    }
    return static_cast<int>(floor);
}

// Staff: each ward has its doctors and nurses; anaesthetists and theatre
// nurses belong to the anaesthesia department and the operating theatre.
std::vector<Staff> WriteStaff(std::ostream& out, Rng& people, NameMaker& names)
{
    std::vector<Staff> staff;
    int nextId = 1001;
    const auto hire = [&](const std::string& dept, const char* job, const char* title, bool female,
                          const std::string& fixedName = {}) {
        char id[8];
        std::snprintf(id, sizeof id, "%06d", nextId++);
        Staff s{id, fixedName, dept, job, title};
        if (s.name.empty()) {
            s.name = names.Make(female).name;
        } else {
            names.Reserve(s.name);
        }
        staff.push_back(s);
    };
    for (const auto& dept : Departments()) {
        const std::string code = dept.code;
        hire(code, "医生", "主任医师", false, code == "0301" ? "张伟" : "");
        for (int i = 0; i < 2; ++i) {
            hire(code, "医生", "副主任医师", people.Percent(25));
        }
        for (int i = 0; i < 3; ++i) {
            hire(code, "医生", "主治医师", people.Percent(35));
        }
        for (int i = 0; i < 3; ++i) {
            hire(code, "医生", "住院医师", people.Percent(45));
        }
        hire(code, "护士", "主管护师", true);
        for (int i = 0; i < 2; ++i) {
            hire(code, "护士", "护师", people.Percent(90));
        }
        hire(code, "护士", "护士", true);
    }
    hire("0401", "麻醉师", "主任医师", false);
    for (int i = 0; i < 2; ++i) {
        hire("0401", "麻醉师", "副主任医师", people.Percent(40));
    }
    for (int i = 0; i < 3; ++i) {
        hire("0401", "麻醉师", "主治医师", people.Percent(50));
    }
    for (int i = 0; i < 2; ++i) {
        hire("0401", "麻醉师", "住院医师", people.Percent(50));
    }
    for (int i = 0; i < 2; ++i) {
        hire("0402", "护士", "主管护师", true);
    }
    for (int i = 0; i < 4; ++i) {
        hire("0402", "护士", "护师", people.Percent(85));
    }
    for (int i = 0; i < 3; ++i) {
        hire("0402", "护士", "护士", true);
    }
    {
        Inserter ins(out, "TEmployee", "FEmployeeID,FName,FInputCode,FDoctorNo,FDeptCode,FJob,FTitle");
        for (const auto& s : staff) {
            const bool prescribes = s.job != "护士";
            ins.Row({Text(s.id, 6), Text(s.name, 8), Text(Cut(PinyinInitials(s.name), 10), 10),
                     prescribes ? Text("D" + s.id.substr(1), 6) : "NULL", Text(s.deptCode, 8), Text(s.job, 10),
                     Text(s.title, 30)});
        }
    }
    return staff;
}

std::vector<const Staff*> StaffOf(const std::vector<Staff>& staff, std::string_view dept,
                                  std::initializer_list<std::string_view> titles)
{
    std::vector<const Staff*> found;
    for (const auto& s : staff) {
        if (s.deptCode != dept) {
            continue;
        }
        for (const auto t : titles) {
            if (s.title == t) {
                found.push_back(&s);
            }
        }
    }
    return found;
}

// In-patients: about ten occupied beds per ward, plus a few discharged
// (one of them on a bed that is occupied again, the lookup must skip it).
std::vector<Patient> WritePatients(std::ostream& out, Day today, Rng& people, NameMaker& names,
                                   const std::vector<Staff>& staff)
{
    using std::chrono::days;
    std::vector<Patient> patients;
    int inSeq = 1;
    {
        Inserter ins(out, "TPat",
                     "FInNo,FInTimes,FName,FSex,FBirthDay,FIdCardNo,FDeptCode,FBedNo,FInDate,FOutDate,FDoctor,FStatus");
        for (const auto& dept : Departments()) {
            std::set<int> beds;
            const int count = people.Between(9, 12);
            while (static_cast<int>(beds.size()) < count) {
                beds.insert(people.Between(1, dept.beds));
            }
            std::vector<int> bedList(beds.begin(), beds.end());
            const auto doctors = StaffOf(staff, dept.code, {"主治医师", "住院医师"});
            for (std::size_t i = 0; i < bedList.size() + 3; ++i) {
                Patient p;
                const bool discharged = i >= bedList.size();
                const auto who = names.Make(people.Percent(dept.code == std::string("0305") ? 20 : 45));
                p.name = who.name;
                p.sex = who.sex;
                const int age = people.Between(17, 86);
                p.birthDay = today - days(age * 365 + age / 4 + people.Between(0, 364));
                p.deptCode = dept.code;
                p.bedNo = std::to_string(discharged ? bedList[i - bedList.size()] : bedList[i]);
                p.status = discharged ? 3 : 2;
                const Day inDay = today - days(discharged ? people.Between(12, 30) : people.Between(0, 14));
                p.inDay = inDay;
                char buf[16];
                std::snprintf(buf, sizeof buf, "%02d%06d",
                              static_cast<int>(std::chrono::year_month_day(inDay).year()) % 100, inSeq++ * 7 + 300000);
                p.inNo = buf;
                const std::string outDate = discharged
                    ? DateTime(today - days(people.Between(1, 8)), people.Between(9, 11), people.Between(0, 59))
                    : "NULL";
                ins.Row({Text(p.inNo, 8), std::to_string(people.Percent(85) ? 1 : people.Between(2, 4)),
                         Text(p.name, 8), Text(p.sex, 4), DateTime(p.birthDay),
                         Text(IdCardNo(people, p.birthDay, p.sex == "女"), 18), Text(p.deptCode, 8), Text(p.bedNo, 3),
                         DateTime(inDay, people.Between(8, 20), people.Between(0, 59), people.Between(0, 59)), outDate,
                         Text(people.Pick(doctors)->name, 8), std::to_string(p.status)});
                patients.push_back(p);
            }
        }
    }

    return patients;
}

// Applications from six days back to three days ahead. Past days are
// arranged by the theatre; today is partly arranged; later days wait.
// Returns the next free FSerialNo.
int WriteApplications(std::ostream& out, Day today, Rng& plans, const std::vector<Staff>& staff,
                      const std::vector<Patient>& patients)
{
    using std::chrono::days;
    std::map<std::string, std::string> diagName;
    for (const auto& d : Diagnoses()) {
        diagName[d.code] = d.name;
    }
    std::map<std::string, std::string> operName;
    for (const auto& o : Operations()) {
        operName[o.code] = o.name;
    }

    static const std::vector<std::string> times = {" 8:00", " 8:30", " 9:00", " 9:30", "10:00", "10:30",
                                                   "11:00", "13:30", "14:00", "14:30", "15:00", "16:00"};
    static const std::vector<std::string> rooms = {"1", "2",  "3",       "5",       "6",      "7",
                                                   "8", "10", "手术间1", "手术间2", "手术间3"};
    // Per cent of each entry of BloodTypes(), in its order.
    static constexpr int kBloodWeights[] = {28, 27, 32, 9, 1, 1, 1, 0, 1};
    const auto anaesthetists = StaffOf(staff, "0401", {"主任医师", "副主任医师", "主治医师", "住院医师"});
    const auto theatreNurses = StaffOf(staff, "0402", {"主管护师", "护师", "护士"});
    int serialNo = 1001;
    {
        Inserter ins(out, "TOperationPlan",
                     "FSerialNo,FOperDate,FTime,FOperRoom,FName,FSex,FAge,FInNo,FDeptCode,FBedNo,FBloodType,FAssay,"
                     "FDiag,FDiagCode,FOper,FOperCode,FMaterial,FOperator,FAssistant1,FAssistant2,FAssistant3,"
                     "FAnaesthesia,FAnaDoctor,FAnaAss1,FAppNurse,FCirNurse,FRemark,FEnterDate,FUser,FStatus");
        for (int offset = -6; offset <= 3; ++offset) {
            const Day day = today + days(offset);
            const int arrangedPercent = offset < 0 ? 100 : offset == 1 ? 25 : 0;
            for (const auto& dept : Departments()) {
                std::vector<const Patient*> candidates;
                for (const auto& p : patients) {
                    if (p.deptCode == dept.code && p.inDay <= day && (offset < 0 || p.status == 2)) {
                        candidates.push_back(&p);
                    }
                }
                const auto surgeons = StaffOf(staff, dept.code, {"主任医师", "副主任医师", "主治医师"});
                const auto juniors = StaffOf(staff, dept.code, {"主治医师", "住院医师"});
                const auto chiefs = StaffOf(staff, dept.code, {"主任医师", "副主任医师"});
                const int count = candidates.empty() ? 0 : plans.Between(2, 4);
                std::set<const Patient*> todaysPatients;
                std::set<std::string> usedTimes;
                int written = 0;
                for (int n = 0; n < count; ++n) {
                    const Patient* p = plans.Pick(candidates);
                    const std::string& time = plans.Pick(times);
                    if (!todaysPatients.insert(p).second || !usedTimes.insert(time).second) {
                        continue;
                    }
                    const auto& c = plans.Pick(dept.cases);
                    const Staff* surgeon = plans.Pick(surgeons);
                    std::vector<std::string> team;
                    for (const Staff* s : juniors) {
                        if (s != surgeon) {
                            team.push_back(s->name);
                        }
                    }
                    // Fisher-Yates over the juniors, so the assistants are distinct.
                    for (std::size_t i = team.size(); i > 1; --i) {
                        std::swap(team[i - 1], team[static_cast<std::size_t>(plans.Below(static_cast<int>(i)))]);
                    }
                    const std::string a1 = team[0];
                    const std::string a2 = plans.Percent(55) ? team[1] : "";
                    std::string a3 = !a2.empty() && plans.Percent(25) ? team[2] : "";
                    if (!a3.empty() && plans.Percent(30)) {
                        a3 += " " + team[3]; // typed by hand: the editor appends without a separator
                    }

                    std::string anaesthesia = "全麻";
                    if (dept.code == std::string("0302") && plans.Percent(45)) {
                        anaesthesia = plans.Percent(70) ? "腰硬联合" : "神经阻滞";
                    } else if (dept.code == std::string("0305") && plans.Percent(40)) {
                        anaesthesia = plans.Percent(50) ? "腰麻" : "硬膜外";
                    } else if (dept.code == std::string("0301") && plans.Percent(10)) {
                        anaesthesia = "局麻";
                    }
                    std::string blood;
                    {
                        int r = plans.Below(100);
                        std::size_t i = 0;
                        while (r >= kBloodWeights[i]) {
                            r -= kBloodWeights[i++];
                        }
                        blood = std::string(BloodTypes()[i]);
                    }
                    const auto& assays = AssayFindings();
                    const std::string assay(plans.Percent(80) ? assays[0]
                                                              : assays[static_cast<std::size_t>(plans.Between(1, 9))]);
                    std::string remark;
                    switch (plans.Below(8)) {
                    case 0:
                        remark = "指导者：" + plans.Pick(chiefs)->name;
                        break;
                    case 1:
                        remark = "加台";
                        break;
                    case 2:
                        remark = "术前禁食12小时";
                        break;
                    case 3:
                        remark = "家属已签字";
                        break;
                    default:
                        break;
                    }
                    // Today every ward shows an arranged row first and a waiting one next.
                    const bool arranged = offset == 0 ? (written == 0 || (written > 1 && plans.Percent(50)))
                                                      : plans.Percent(arrangedPercent);
                    ++written;
                    const Day enterDay = std::max(
                        p->inDay, std::min(day - days(plans.Between(1, 3)), today - days(plans.Between(0, 1))));
                    const int age = AgeOn(p->birthDay, enterDay);
                    const Staff* anaDoctor = plans.Pick(anaesthetists);
                    const Staff* anaAss = plans.Pick(anaesthetists);
                    const Staff* appNurse = plans.Pick(theatreNurses);
                    const Staff* cirNurse = plans.Pick(theatreNurses);
                    char enterTime[40];
                    std::snprintf(enterTime, sizeof enterTime, "'%s %02d:%02d:%02d.%03d'", DateText(enterDay).c_str(),
                                  plans.Between(8, 17), plans.Between(0, 59), plans.Between(0, 59),
                                  plans.Between(0, 999));
                    ins.Row({std::to_string(serialNo++),
                             DateTime(day),
                             Text(time, 6),
                             arranged ? Text(plans.Pick(rooms), 8) : "NULL",
                             Text(p->name, 8),
                             Text(p->sex, 4),
                             std::to_string(age) + ".00",
                             Text(p->inNo, 8),
                             Text(p->deptCode, 8),
                             Text(p->bedNo, 3),
                             Text(blood, 20),
                             Text(assay, 50),
                             Text(diagName.at(c.diagCode), 240),
                             Text(c.diagCode, 16),
                             Text(operName.at(c.operCode), 240),
                             Text(c.operCode, 16),
                             Text(c.material, 240),
                             Text(surgeon->name, 20),
                             Text(a1, 20),
                             Text(a2, 20),
                             Text(a3, 50),
                             Text(anaesthesia, 8),
                             arranged ? Text(anaDoctor->name, 20) : "NULL",
                             arranged && anaAss != anaDoctor && plans.Percent(50) ? Text(anaAss->name, 50) : "NULL",
                             arranged ? Text(appNurse->name, 20) : "NULL",
                             arranged && cirNurse != appNurse ? Text(cirNurse->name, 20) : "NULL",
                             Text(remark, 100),
                             enterTime,
                             Text(plans.Pick(juniors)->name, 8),
                             "0"});
                }
            }
        }
    }
    return serialNo;
}

} // namespace

void WriteDemo(std::ostream& out, Day today)
{
    // People stay the same from day to day; the applications follow the date.
    Rng people(20240601);
    Rng plans(static_cast<std::uint64_t>(today.time_since_epoch().count()));
    NameMaker names(people);

    out << "-- Demo data for " << DateText(today) << ", written by hisdb-seed --demo.\nBEGIN;\n";
    WriteShortLists(out);
    WriteDictionaries(out);

    const auto staff = WriteStaff(out, people, names);
    const auto patients = WritePatients(out, today, people, names, staff);
    const int nextSerialNo = WriteApplications(out, today, plans, staff, patients);
    out << "UPDATE TNextOperationPlanNo SET FNext = " << nextSerialNo << ";\nCOMMIT;\n";
}

void WriteBulk(std::ostream& out, long count, std::uint64_t seed)
{
    Rng rng(seed);
    static const std::vector<std::string> qualifiers = {"",     "",     "",       "左侧",   "右侧",   "双侧",
                                                        "急性", "慢性", "复发性", "继发性", "多发性", "术后"};
    const auto& diags = Diagnoses();
    const auto& opers = Operations();
    const auto named = [&](const std::vector<CodeName>& base) {
        const std::string& qualifier = rng.Pick(qualifiers);
        std::string name = rng.Pick(base).name;
        if (name.find(qualifier) == std::string::npos) {
            name = qualifier + name;
        }
        while (GbkWidth(name) > 40) {
            name.erase(name.size() - 3); // drop the last (three-byte) character
        }
        return name;
    };
    out << "-- " << count << " bulk rows per table, written by hisdb-seed --bulk.\nBEGIN;\n";
    {
        Inserter ins(out, "TDictDiagICD", "FDiagCode,FName,FInputCode");
        for (long i = 0; i < count; ++i) {
            char code[32];
            std::snprintf(code, sizeof code, "%c%02ld.%ld", static_cast<char>('A' + i % 26), (i / 26) % 100, i);
            const std::string name = named(diags);
            ins.Row({Text(code, 16), Text(name, 40), Text(Cut(PinyinInitials(name), 10), 10)});
        }
    }
    {
        Inserter ins(out, "TDictOperCM", "FOperCode,FName,FInputCode");
        for (long i = 0; i < count; ++i) {
            char code[32];
            std::snprintf(code, sizeof code, "%02ld.%02ld%07ld", i % 100, (i / 100) % 100, i);
            const std::string name = named(opers);
            ins.Row({Text(code, 16), Text(name, 40), Text(Cut(PinyinInitials(name), 10), 10)});
        }
    }
    {
        static const char* jobs[] = {"医生", "医生", "医生", "护士", "护士", "麻醉师", "技师"};
        static const char* titles[] = {"主任医师", "副主任医师", "主治医师", "住院医师", "主管护师", "护师", "技师"};
        static const char digits36[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
        Inserter ins(out, "TEmployee", "FEmployeeID,FName,FInputCode,FDoctorNo,FDeptCode,FJob,FTitle");
        for (long i = 0; i < count; ++i) {
            std::string id = "B00000";
            for (long v = i, pos = 5; v > 0 && pos > 0; v /= 36, --pos) {
                id[static_cast<std::size_t>(pos)] = digits36[v % 36];
            }
            const bool female = rng.Percent(50);
            std::string name(rng.Pick(Surnames()));
            const auto& given = female ? FemaleGivenChars() : MaleGivenChars();
            name += rng.Pick(given);
            if (GbkWidth(name) < 6 && rng.Percent(60)) {
                name += rng.Pick(given);
            }
            const int job = rng.Below(7);
            char dept[16];
            std::snprintf(dept, sizeof dept, "%04d", 100 + rng.Below(900));
            ins.Row({Text(id, 6), Text(name, 8), Text(Cut(PinyinInitials(name), 10), 10),
                     job < 3 ? Text("E" + id.substr(1), 6) : "NULL", Text(dept, 8), Text(jobs[job], 10),
                     Text(titles[job < 3        ? rng.Below(4)
                                     : job == 5 ? rng.Below(4)
                                     : job == 6 ? 6
                                                : 4 + rng.Below(2)],
                          30)});
        }
    }
    out << "COMMIT;\n";
}

} // namespace seed
