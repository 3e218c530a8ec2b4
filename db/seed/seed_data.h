// Fixed data of the demo database and the pinyin initials used to make
// input codes. Everything here is UTF-8.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace seed {

struct CodeName {
    const char* code;
    const char* name;
};

// A surgical case a department typically applies for: diagnosis and
// operation codes (present in Diagnoses() and Operations()) and the special
// requirements written with it (may be empty).
struct SurgicalCase {
    const char* diagCode;
    const char* operCode;
    const char* material;
};

struct Department {
    const char* code;
    const char* name;
    int beds;
    std::vector<SurgicalCase> cases;
};

[[nodiscard]] const std::vector<CodeName>& Diagnoses();
[[nodiscard]] const std::vector<CodeName>& Operations();
// The five surgical wards.
[[nodiscard]] const std::vector<Department>& Departments();

// Name material: surnames and given-name characters.
[[nodiscard]] const std::vector<std::string_view>& Surnames();
[[nodiscard]] const std::vector<std::string_view>& MaleGivenChars();
[[nodiscard]] const std::vector<std::string_view>& FemaleGivenChars();

// Short lists.
[[nodiscard]] const std::vector<std::string_view>& BloodTypes();
[[nodiscard]] const std::vector<std::string_view>& AssayFindings();
[[nodiscard]] const std::vector<std::string_view>& AnaesthesiaMethods();

// Upper-case pinyin initials of UTF-8 text: one letter per Chinese
// character, ASCII letters upper-cased, digits kept, anything else skipped.
// Throws std::invalid_argument for a Chinese character missing from the table.
[[nodiscard]] std::string PinyinInitials(std::string_view utf8);

} // namespace seed
