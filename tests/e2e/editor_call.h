// A whole operedit call on a temporary SQLite HIS database with the three
// short dictionaries, driven as the user drives it: windows and controls are
// found by their object names (the library holds its own copy of every class
// of the module) and its message boxes are real ones, answered by clicking a
// button.
#pragma once

#include "tests/e2e/library.h"
#include "tests/support/test_env.h"
#include "tests/support/ui_driver.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QComboBox>
#include <QDate>
#include <QFontMetrics>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <functional>
#include <string>

namespace e2e {

using testenv::Backend;

inline const QString kYes = QString::fromUtf8("是(&Y)");
inline const QString kNo = QString::fromUtf8("否(&N)");
inline const QString kOk = QString::fromUtf8("确定");
inline const QString kUnsaved = QString::fromUtf8("数据没有存盘，不保存退出吗?");

inline std::string TodayIso()
{
    return QDate::currentDate().toString(Qt::ISODate).toStdString();
}

template <class T = QWidget>
T* Child(QWidget* window, const char* name)
{
    T* child = window->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << "no " << name;
    return child;
}

class EditorCall : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lib_.Loaded()) << dlerror();
        driver_.UseRealBoxes();
        db_.Exec("update TNextOperationPlanNo set FNext = 57");
        int no = 1;
        for (const char* blood : {"A型", "B型", "O型", "AB型"}) {
            db_.Exec("insert into TDictBloodTypeA (FNo, FName) values (" + std::to_string(no++) + ", '" + blood + "')");
        }
        no = 1;
        for (const char* assay : {"阴性", "乙肝", "梅毒"}) {
            db_.Exec("insert into TDictAssay (FNo, FName) values (" + std::to_string(no++) + ", '" + assay + "')");
        }
        no = 1;
        for (const char* method : {"全麻", "腰麻", "局麻"}) {
            db_.Exec("insert into TDictAnaesthesia (FNo, FName) values (" + std::to_string(no++) + ", '" + method +
                     "')");
        }
    }

    // A complete, waiting application of today in the calling department.
    void AddApplication(int serialNo, const std::string& room = "NULL", const std::string& blood = "A型")
    {
        db_.Exec("insert into TOperationPlan (FSerialNo, FOperDate, FTime, FOperRoom, FName, FSex, FAge, FInNo, "
                 "FDeptCode, FBedNo, FBloodType, FAssay, FDiag, FDiagCode, FOper, FOperCode, FOperator, "
                 "FAnaesthesia, FAnaDoctor, FUser, FStatus) values (" +
                 std::to_string(serialNo) + ", '" + TodayIso() + " 00:00:00', ' 9:30', " + room +
                 ", '王五', '男', 45, 'Z100', '0301', '12', '" + blood +
                 "', '阴性', '急性阑尾炎', 'K35.9', '阑尾切除术', '47.09', '张医生', '全麻', '赵麻醉', '李医生', 0)");
    }

    void OnList(std::function<void(QWidget*)> step) { driver_.OnModalNamed("OperationApplyForm", std::move(step)); }
    void OnEditor(std::function<void(QWidget*)> step) { driver_.OnModalNamed("OperationNewForm", std::move(step)); }
    // The next message box: its text is recorded and `button` clicked.
    void Box(const QString& button)
    {
        driver_.OnModalIf([](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; },
                          [this, button](QWidget* w) {
                              auto* box = static_cast<QMessageBox*>(w);
                              boxes_ << box->text();
                              for (QAbstractButton* b : box->buttons()) {
                                  if (b->text() == button) {
                                      uitest::Click(b);
                                      return;
                                  }
                              }
                              ADD_FAILURE() << "no button " << button.toStdString() << " on " << box->text().toStdString();
                              box->done(0);
                          },
                          QStringLiteral("a message box"));
    }

    void Call(const std::string& dept = "0301")
    {
        EXPECT_STREQ(lib_.CallUtf8("李医生", dept, "普外科"), "");
        EXPECT_EQ(driver_.PendingSteps(), 0u);
    }

    std::string Scalar(const std::string& sql) { return db_.Scalar(sql); }

    e2e::Library lib_;
    testenv::HisDatabase db_{Backend::Sqlite};
    uitest::Driver driver_;
    QStringList boxes_;
};

// The offscreen platform activates no window again when a message box
// closes; a desktop gives the activation back to the window below.
inline void Activate(QWidget* window)
{
    if (!window->isActiveWindow()) {
        uitest::ShowActive(window);
    }
}

inline void ClickChild(QWidget* window, const char* name)
{
    Activate(window);
    uitest::Click(Child(window, name));
}

// Clicks into a box and types, as the user does.
inline void TypeInto(QWidget* window, const char* name, const QString& text)
{
    Activate(window);
    QWidget* box = Child(window, name);
    uitest::Click(box);
    EXPECT_EQ(uitest::Focused(), box);
    uitest::Type(text);
}

}  // namespace e2e
