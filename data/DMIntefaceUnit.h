// TDMInteface: the data module of one operedit call.
//
// Owns the connection DatabaseHIS (alias HIS, database name "HISDb"), the
// application query QOperationPlan with its cache of changes and the
// statements of UpdateQOperationPlan that apply it, the small queries the
// windows and pickers reuse, and the three call values. Created and freed by
// the entry, reached by every window through the global DMInteface.
//
// Before a row of QOperationPlan is posted, QOperationPlanBeforePost checks it
// against the ward's rules and refuses it with a message and the silent abort;
// QOperationPlanCalcFields fills the two hidden staff lists JOperator and
// JAnaDoctor of every row.
#pragma once

#include <string>

#include "data/dataset/component.h"
#include "data/dataset/database.h"
#include "data/dataset/dataset.h"
#include "data/dataset/fields.h"
#include "data/dataset/query.h"

// A non-visual container of components: it owns and frees them.
class TDataModule : public TComponent {
public:
    explicit TDataModule(TComponent* owner = nullptr) : TComponent(owner) {}
};

class TDMInteface : public TDataModule {
public:
    explicit TDMInteface(TComponent* owner = nullptr);
    ~TDMInteface() override;

    // Components, in declaration order.
    TDatabase* DatabaseHIS;
    TQuery* QUpdateSQL;
    TQuery* QOperationPlan;
    TAutoIncField* QOperationPlanFSerialNo;
    TDateTimeField* QOperationPlanFOperDate;
    TStringField* QOperationPlanFTime;
    TStringField* QOperationPlanFOperRoom;
    TStringField* QOperationPlanFName;
    TStringField* QOperationPlanFSex;
    TBCDField* QOperationPlanFAge;
    TStringField* QOperationPlanFInNo;
    TStringField* QOperationPlanFDeptCode;
    TStringField* QOperationPlanFBedNo;
    TStringField* QOperationPlanFBloodType;
    TStringField* QOperationPlanFAssay;
    TStringField* QOperationPlanFDiag;
    TStringField* QOperationPlanFDiagCode;
    TStringField* QOperationPlanFOper;
    TStringField* QOperationPlanFOperCode;
    TStringField* QOperationPlanFMaterial;
    TStringField* QOperationPlanFOperator;
    TStringField* QOperationPlanFAssistant1;
    TStringField* QOperationPlanFAssistant2;
    TStringField* QOperationPlanFAssistant3;
    TStringField* QOperationPlanFAnaesthesia;
    TStringField* QOperationPlanFAnaDoctor;
    TStringField* QOperationPlanFAnaAss1;
    TStringField* QOperationPlanFAppNurse;
    TStringField* QOperationPlanFCirNurse;
    TStringField* QOperationPlanFRemark;
    TDateTimeField* QOperationPlanFEnterDate;
    TStringField* QOperationPlanFUser;
    TSmallintField* QOperationPlanFStatus;
    TStringField* QOperationPlanJOperator;
    TStringField* QOperationPlanJAnaDoctor;
    TDataSource* DSQOperationPlan;
    TUpdateSQL* UpdateQOperationPlan;
    TQuery* QDict;
    TQuery* QNext;
    TQuery* QDiag;
    TStringField* QDiagFCode;
    TStringField* QDiagFName;
    TStringField* QDiagFInputCode;
    TDataSource* DSQDiag;
    TQuery* QEmployee;
    TStringField* QEmployeeFEmployeeID;
    TStringField* QEmployeeFName;
    TStringField* QEmployeeFInputCode;
    TStringField* QEmployeeFDoctorNo;
    TStringField* QEmployeeFDeptCode;
    TStringField* QEmployeeFJob;
    TStringField* QEmployeeFTitle;
    TDataSource* DSQEmployee;

    // The call values (UTF-8) and the entry's failure text.
    std::string ApplicantUser;
    std::string DepartmentCode;
    std::string DepartmentName;
    std::string MessageText;

    // Takes the number of a new application from the one-row counter table
    // TNextOperationPlanNo and advances the counter, as one indivisible step:
    // in a transaction of DatabaseHIS that locks the table, QNext reads
    // FNext and QUpdateSQL adds one to it; both queries are closed after.
    // Returns FNext as read. A table without exactly one row raises
    // EDatabaseError "TNextOperationPlanNo表必须只能有一条记录!!!  " and an
    // engine failure EDBEngineError; either way nothing is changed. Lists held
    // open on DatabaseHIS meanwhile stay as they are.
    [[nodiscard]] int NextOperationPlanNo();

    void DataModuleCreate();
    void QOperationPlanCalcFields(TDataSet& dataSet);
    void QOperationPlanBeforePost(TDataSet& dataSet);
};

// The data module of the running call; null between calls.
extern TDMInteface* DMInteface;
