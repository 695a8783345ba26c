#include "report/ReportHeaderForm.h"

#include <QSettings>

namespace vm {

ReportHeaderForm ReportHeaderForm::Load(QSettings& settings)
{
    ReportHeaderForm f;
    f.company = settings.value(kCompanyKey).toString();
    f.division = settings.value(kDivisionKey).toString();
    f.author = settings.value(kAuthorKey).toString();
    return f;
}

void ReportHeaderForm::Save(QSettings& settings) const
{
    settings.setValue(kCompanyKey, company);
    settings.setValue(kDivisionKey, division);
    settings.setValue(kAuthorKey, author);
}

std::optional<int> ReportHeaderForm::FirstTooLong() const
{
    const QString* texts[] = {&company, &division, &author};
    for (int i = 0; i < 3; ++i)
        if (texts[i]->size() > kMaxLength)
            return i;
    return std::nullopt;
}

QString ReportHeaderForm::TooLongText()
{
    return QStringLiteral("Please enter no more than %1 characters.").arg(kMaxLength);
}

}  // namespace vm
