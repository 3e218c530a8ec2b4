#include "entry/commoninteface.h"

#include "data/dataset/query.h"
#include "platform/ui/application.h"
#include "platform/ui/messagebox.h"

#include <QString>

namespace {

constexpr unsigned kInformation = ui::MB_OK | ui::MB_ICONINFORMATION;
constexpr unsigned kConfirmation = ui::MB_YESNO | ui::MB_ICONQUESTION | ui::MB_DEFBUTTON2;

}  // namespace

int ShowMessageBox(const QString& text, const QString& caption, unsigned flags)
{
    return ui::MessageBox(text, caption, flags + (ui::MB_TASKMODAL | ui::MB_TOPMOST));
}

int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags)
{
    return ShowMessageBox(QString::fromStdString(text), QString::fromStdString(caption), flags);
}

void ShowInformation(const QString& text)
{
    ShowMessageBox(text, QString::fromUtf8("信息"), kInformation);
}

void ShowInformation(const std::string& text)
{
    ShowInformation(QString::fromStdString(text));
}

void ShowInformation(const char* text)
{
    ShowInformation(QString::fromUtf8(text));
}

bool AskConfirmation(const QString& text)
{
    return ShowMessageBox(text, QString::fromUtf8("确认"), kConfirmation) == ui::IDYES;
}

bool AskConfirmation(const std::string& text)
{
    return AskConfirmation(QString::fromStdString(text));
}

bool AskConfirmation(const char* text)
{
    return AskConfirmation(QString::fromUtf8(text));
}

void OpenQuerySQL(TQuery& query, const std::string& sql)
{
    query.DisableControls();
    try {
        query.Close();
        query.SQL().Clear();
        query.SQL().Add(sql);
        query.Prepare();
        query.Open();
    } catch (...) {
        query.EnableControls();
        throw;
    }
    query.EnableControls();
}

dataset::ErrorBoxHook UseApplicationErrorBox()
{
    ui::Application::SetSilentErrors([](std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const EAbort&) {
            return true;
        } catch (...) {
            return false;
        }
    });
    return dataset::SetErrorBoxHook([](const std::string& message) {
        ui::Application::Instance().ShowErrorBox(QString::fromStdString(message));
    });
}
