#include "pickers/PickerForm.h"

#include "controls/colors.h"
#include "controls/datagrid.h"
#include "data/dataset/query.h"
#include "entry/commoninteface.h"
#include "platform/ui/events.h"
#include "platform/ui/widgets.h"

namespace picker {

QString Trimmed(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first).unicode() <= ' ') {
        ++first;
    }
    while (last > first && text.at(last - 1).unicode() <= ' ') {
        --last;
    }
    return text.mid(first, last - first);
}

}  // namespace picker

TPickerForm::TPickerForm(QWidget* owner, TQuery& list, TDataSource& source) : ui::Form(owner), list_(list)
{
    SetCaption(QString::fromUtf8("选择"));
    Panel1 = new ui::Panel(this, ui::Align::Top);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->resize(Panel1->width(), 37);
    Label1 = new ui::Label(Panel1, QString::fromUtf8("输入码:"), 0, 0);
    Label1->setObjectName(QStringLiteral("Label1"));
    EditInputCode = new ui::Edit(Panel1);
    EditInputCode->setObjectName(QStringLiteral("EditInputCode"));
    EditInputCode->SetCharCase(ui::CharCase::Upper);
    CheckFlag = new ui::CheckBox(Panel1, QString());
    CheckFlag->setObjectName(QStringLiteral("CheckFlag"));
    OKBtn = new ui::Button(Panel1, QString::fromUtf8("选定"), ui::Glyph::Ok);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setEnabled(false);
    BtnClose = new ui::Button(Panel1, QString::fromUtf8("退出"), ui::Glyph::Close);
    BtnClose->setObjectName(QStringLiteral("BtnClose"));

    Panel2 = new ui::Panel(this, ui::Align::Client);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    DBGrid2 = new TDataGrid(Panel2);
    DBGrid2->setObjectName(QStringLiteral("DBGrid2"));
    ui::SetAlign(DBGrid2, ui::Align::Client);
    DBGrid2->SetOptions(dgTitles | dgColumnResize | dgColLines | dgRowLines | dgTabs | dgRowSelect |
                        dgAlwaysShowSelection | dgConfirmDelete | dgCancelOnExit);
    DBGrid2->SetReadOnly(true);
    DBGrid2->SetColor(clHighlightText());
    DBGrid2->SetDataSource(&source);

    ui::SetTabOrder(Panel1, 0);
    ui::SetTabOrder(Panel2, 1);
    SetActiveControl(EditInputCode);

    EditInputCode->OnChange = [this](QWidget* sender) { EditInputCodeChange(sender); };
    ui::Events(EditInputCode).OnKeyDown = [this](QWidget* sender, int& key, ui::ShiftState shift) {
        EditInputCodeKeyDown(sender, key, shift);
    };
    CheckFlag->OnClick = [this](QWidget* sender) { CheckFlagClick(sender); };
    OKBtn->OnClick = [this](QWidget* sender) { OKBtnClick(sender); };
    BtnClose->OnClick = [this](QWidget* sender) { BtnCloseClick(sender); };
    DBGrid2->OnDblClick = [this](QWidget* sender) { OKBtnClick(sender); };
    OnClose = [this] { FormClose(); };
    OnDestroy = [this] { FormDestroy(); };
}

TPickerForm::~TPickerForm()
{
    // Deleted by its owner rather than freed: the destroy handler would run
    // only when this part is gone.
    OnDestroy = nullptr;
    try {
        FormDestroy();
    } catch (...) {
        // Closing a query that is already closed does nothing; nothing else can be done here.
    }
}

void TPickerForm::EditInputCodeChange(QWidget*)
{
    const QString trimmed = picker::Trimmed(EditInputCode->text());
    if (trimmed != EditInputCode->text()) {
        // Writing it back changes the text again, and that change searches.
        EditInputCode->setText(trimmed);
        return;
    }
    if (trimmed.isEmpty()) {
        return;
    }
    OpenQuerySQL(list_, Statement(trimmed.toStdString()));
    OKBtn->setEnabled(!list_.IsEmpty());
}

void TPickerForm::CheckFlagClick(QWidget* sender)
{
    EditInputCodeChange(sender);
}

void TPickerForm::EditInputCodeKeyDown(QWidget* sender, int& key, Qt::KeyboardModifiers)
{
    try {
        if (key == ui::VK_RETURN) {
            key = 0;
            OKBtnClick(sender);
        }
        if (key == ui::VK_UP) {
            list_.Prior();
        }
        if (key == ui::VK_DOWN) {
            list_.Next();
        }
        key = 0;
    } catch (...) {
        // Up or Down before anything was searched: nothing to move.
    }
}

void TPickerForm::OKBtnClick(QWidget*)
{
    SetModalResult(ui::mrOk);
}

void TPickerForm::BtnCloseClick(QWidget*)
{
    Close();
}

void TPickerForm::FormDestroy()
{
    list_.Close();
}

bool TPickerForm::HasRow() const
{
    return list_.Active() && !list_.IsEmpty();
}
