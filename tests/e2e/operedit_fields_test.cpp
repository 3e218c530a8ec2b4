// The editor's fields through whole calls of liboperedit.so, typed as ward
// staff type: a new application from the date box to 确认 with the keyboard
// alone, and the in-patient looked up by bed number.
#include "tests/e2e/editor_call.h"

#include <QDateTime>

namespace {

using namespace e2e;

class FieldsCall : public EditorCall {
protected:
    void SetUp() override
    {
        EditorCall::SetUp();
        db_.Exec("insert into TDictDiagICD (FDiagCode, FName, FInputCode) values "
                 "('K35.900', '急性阑尾炎', 'JXLWY'), ('K35.901', '急性化脓性阑尾炎', 'JXHNXLWY')");
        db_.Exec("insert into TDictOperCM (FOperCode, FName, FInputCode) values "
                 "('47.0101', '腹腔镜下阑尾切除术', 'FQJXLWQCS'), ('47.0900', '阑尾切除术', 'LWQCS')");
        db_.Exec("insert into TEmployee (FEmployeeID, FName, FInputCode, FDeptCode, FJob) values "
                 "('000001', '张建国', 'ZJG', '0301', '医生'), ('000002', '张建', 'ZJ', '0302', '医生'), "
                 "('000003', '赵静', 'ZJ', '0301', '护士')");
        AddPatient("Z1000231", "王五", "男", BirthDay(-30), "0301", "12", 2);
    }

    // Born `years` years (negative: ago) from today, one day after today's date in that year.
    static std::string BirthDay(int years)
    {
        return QDate::currentDate().addYears(years).addDays(1).toString(Qt::ISODate).toStdString() + " 08:00:00";
    }

    void AddPatient(const std::string& inNo, const std::string& name, const std::string& sex,
                    const std::string& birthDay, const std::string& dept, const std::string& bed, int status)
    {
        db_.Exec("insert into TPat (FInNo, FName, FSex, FBirthDay, FDeptCode, FBedNo, FStatus) values ('" + inNo +
                 "', '" + name + "', '" + sex + "', " + (birthDay.empty() ? "NULL" : "'" + birthDay + "'") + ", '" +
                 dept + "', '" + bed + "', " + std::to_string(status) + ")");
    }

    std::string Column(const std::string& name, int serialNo = 57)
    {
        return Scalar("select " + name + " from TOperationPlan where FSerialNo = " + std::to_string(serialNo));
    }
};

QString FocusedName()
{
    return uitest::Focused() != nullptr ? uitest::Focused()->objectName() : QString();
}

TEST_F(FieldsCall, ANewApplicationIsEnteredWithTheKeyboardAloneAndStored)
{
    std::vector<QString> path;
    OnList([](QWidget* list) {
        Activate(list);
        uitest::Click(Child(list, "BtnNew"));
        ClickChild(list, "BtnClose");
    });
    OnEditor([&path](QWidget* editor) {
        const auto at = [&path] { path.push_back(FocusedName()); };
        at();                                      // 手术日期
        uitest::Enter();
        at();
        uitest::Type(QStringLiteral("0830"));      // 手术时间
        uitest::Enter();
        at();
        uitest::Type(QStringLiteral("12"));        // 床号: the patient is looked up on leaving
        uitest::Enter();
        at();
        EXPECT_EQ(Child<QLineEdit>(editor, "DBEdit3")->text(), QString::fromUtf8("王五"));
        uitest::Type(QStringLiteral("2"));         // 血型: the second entry
        uitest::Enter();
        at();
        uitest::Type(QStringLiteral("1"));         // 化验情况: the first entry
        uitest::Enter();
        at();
        uitest::F2();                              // 诊断代码: the code picker
        at();                                      // the name box, filled
        uitest::Enter();
        at();
        uitest::F2();                              // 手术代码
        at();
        uitest::Enter();
        at();
        uitest::Type(QString::fromUtf8("备血400ml"));  // 特殊要求
        uitest::Enter();
        at();
        uitest::F2();                              // 手术医师: the staff picker
        for (int i = 0; i < 4; ++i) {              // 助手1-3, then 麻醉方法
            uitest::Enter();
            at();
        }
        uitest::Type(QStringLiteral("3"));         // 麻醉方法: the third entry
        uitest::Enter();
        at();
        uitest::Type(QString::fromUtf8("王主任指导"));  // 备注
        uitest::Enter();
        at();
        uitest::Enter();                           // 确认
    });
    driver_.OnModalNamed(QStringLiteral("ChoiceDiagForm"), [](QWidget* picker) {
        EXPECT_EQ(picker->windowTitle(), QString::fromUtf8("选择诊断"));
        uitest::Type(QStringLiteral("k35.901"));
        uitest::Enter();
    });
    driver_.OnModalNamed(QStringLiteral("ChoiceDiagForm"), [](QWidget* picker) {
        EXPECT_EQ(picker->windowTitle(), QString::fromUtf8("选择手术"));
        uitest::Type(QString::fromUtf8("阑尾"));
        uitest::Enter();
    });
    driver_.OnModalNamed(QStringLiteral("ChoiceEmployeeForm"), [](QWidget* picker) {
        EXPECT_EQ(picker->windowTitle(), QString::fromUtf8("选择医生"));
        uitest::Type(QStringLiteral("zj"));  // only the surgeon of this department
        uitest::Enter();
    });
    Call();
    const std::vector<QString> expected = {
        "DBDateEdit1",       "DBEdit1",           "EditBedNo",         "ComboBloodType",    "ComboAssay",
        "EditDiagCode",      "EditDiag",          "EditOperCode",      "EditOper",          "DBEdit9",
        "DBComboDoctor",     "DBComboAssistant1", "DBComboAssistant2", "DBComboAssistant3", "ComboAnaesthesia",
        "DBEdit10",          "BtnOk",
    };
    EXPECT_EQ(path, expected);
    EXPECT_TRUE(boxes_.isEmpty()) << boxes_.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(Scalar("select count(*) from TOperationPlan"), "1");
    EXPECT_EQ(Column("FOperDate").substr(0, 19), TodayIso() + " 00:00:00");
    EXPECT_EQ(Column("FTime"), "08:30");
    EXPECT_EQ(Column("FBedNo"), "12");
    EXPECT_EQ(Column("FName"), "王五");
    EXPECT_EQ(Column("FSex"), "男");
    EXPECT_EQ(Column("FAge"), "29") << "completed years: the 30th birthday is tomorrow";
    EXPECT_EQ(Column("FInNo"), "Z1000231");
    EXPECT_EQ(Column("FBloodType"), "B型");
    EXPECT_EQ(Column("FAssay"), "阴性");
    EXPECT_EQ(Column("FDiagCode"), "K35.901");
    EXPECT_EQ(Column("FDiag"), "急性化脓性阑尾炎");
    EXPECT_EQ(Column("FOperCode"), "47.0900") << "names are searched from their start";
    EXPECT_EQ(Column("FOper"), "阑尾切除术");
    EXPECT_EQ(Column("FMaterial"), "备血400ml");
    EXPECT_EQ(Column("FOperator"), "张建国");
    EXPECT_EQ(Column("FAssistant1"), "");
    EXPECT_EQ(Column("FAnaesthesia"), "局麻");
    EXPECT_EQ(Column("FRemark"), "王主任指导");
    EXPECT_EQ(Column("FStatus"), "0");
    EXPECT_EQ(Column("FUser"), "李医生");
    EXPECT_EQ(Column("FDeptCode"), "0301");
    EXPECT_FALSE(Column("FEnterDate").empty());
    EXPECT_EQ(Scalar("select FNext from TNextOperationPlanNo"), "58");
}

TEST_F(FieldsCall, TheBedNumberFindsOnlyAnInPatientOfTheDepartment)
{
    AddPatient("Z1000300", "出院者", "女", BirthDay(-50), "0301", "13", 3);    // discharged
    AddPatient("Z1000301", "骨科病人", "男", BirthDay(-40), "0302", "14", 2);  // another department's bed
    AddPatient("Z1000302", "引号", "女", BirthDay(-20), "0301", "1''5", 2);
    AddPatient("Z1000303", "无生日", "女", "", "0301", "16", 2);
    AddApplication(5);  // 王五 on bed 12
    struct Seen {
        QString name, sex, age, inNo, focus;
    };
    std::vector<Seen> seen;
    OnList([](QWidget* list) {
        ClickChild(list, "BtnModify");
        ClickChild(list, "BtnClose");
    });
    OnEditor([&](QWidget* editor) {
        const auto look = [&] {
            seen.push_back({Child<QLineEdit>(editor, "DBEdit3")->text(), Child<QLineEdit>(editor, "DBEdit4")->text(),
                            Child<QLineEdit>(editor, "DBEdit5")->text(), Child<QLineEdit>(editor, "DBEdit6")->text(),
                            FocusedName()});
        };
        auto* bed = Child<QLineEdit>(editor, "EditBedNo");
        const auto enterBed = [&](const QString& text) {
            Activate(editor);
            uitest::Click(bed);
            bed->selectAll();
            uitest::Type(text);
            uitest::ShiftTab();  // leaving backwards still ends in the blood-type list
            look();
        };
        // Unchanged: no lookup, though the register changed meanwhile; the focus still moves on.
        db_.Exec("update TPat set FName = '王五五' where FBedNo = '12'");
        uitest::Click(bed);
        uitest::Tab();
        look();
        enterBed(QStringLiteral("13"));
        enterBed(QStringLiteral("14"));
        enterBed(QStringLiteral("1'5"));
        enterBed(QStringLiteral("16"));
        // Once changed, every later exit looks up again.
        db_.Exec("update TPat set FName = '改名' where FBedNo = '16'");
        uitest::Click(bed);
        ClickChild(editor, "EditDiag");
        look();
        ClickChild(editor, "BtnClose");
    });
    Box(kYes);
    Call();
    ASSERT_EQ(seen.size(), 6u);
    EXPECT_EQ(seen[0].name, QString::fromUtf8("王五"));
    EXPECT_EQ(seen[0].age, QStringLiteral("45.0"));
    for (const Seen& s : seen) {
        EXPECT_EQ(s.focus, QStringLiteral("ComboBloodType"));
    }
    for (int empty : {1, 2}) {
        EXPECT_EQ(seen[empty].name + seen[empty].sex + seen[empty].age + seen[empty].inNo, QString()) << empty;
    }
    EXPECT_EQ(seen[3].name, QString::fromUtf8("引号"));
    EXPECT_EQ(seen[3].age, QStringLiteral("19.0")) << "the 20th birthday is tomorrow";
    EXPECT_EQ(seen[4].name, QString::fromUtf8("无生日"));
    EXPECT_EQ(seen[4].age, QString()) << "no birth date, no age";
    EXPECT_EQ(seen[4].inNo, QStringLiteral("Z1000303"));
    EXPECT_EQ(seen[5].name, QString::fromUtf8("改名"));
    EXPECT_EQ(Column("FName", 5), "王五") << "closed with Yes: nothing stored";
}

}  // namespace
