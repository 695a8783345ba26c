#pragma once
// The three header texts of a report (company, division, author): read from and written to the
// settings, and the length check the header dialog applies before it accepts them.

#include <QString>

#include <optional>

class QSettings;

namespace vm {

struct ReportHeaderForm {
    static constexpr int kMaxLength = 20;
    static constexpr const char* kCompanyKey = "Main/Company Header";
    static constexpr const char* kDivisionKey = "Main/Devision Header";
    static constexpr const char* kAuthorKey = "Main/Manager Header";

    QString company;
    QString division;
    QString author;

    static ReportHeaderForm Load(QSettings& settings);
    void Save(QSettings& settings) const;

    // Index (0 company, 1 division, 2 author) of the first text that is too long.
    std::optional<int> FirstTooLong() const;
    // "Please enter no more than 20 characters."
    static QString TooLongText();
};

}  // namespace vm
