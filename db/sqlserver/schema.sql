-- HIS database tables used by the surgery-application module (SQL Server,
-- T-SQL reference). In a hospital these tables already exist in the database
-- HISDb; this script documents the columns the module relies on and creates
-- them for a test server. Safe to run again: every object is created only
-- when missing.
--
-- Notes:
--  * The database's default collation should be a case-insensitive Chinese
--    one (e.g. Chinese_PRC_CI_AS, code page 936), so that char(n) counts GBK
--    bytes and LIKE and = ignore letter case, as the pickers expect.
--  * char(n) pads with blanks; comparisons ignore trailing blanks, so
--    "FOperRoom <> ''" is false both for a null and for an all-blank room.
--  * The module's update and delete statements match "FOperRoom = ?" with a
--    null value; the engine sends such a comparison as "FOperRoom IS NULL"
--    and leaves ANSI_NULLS on, so filtered indexes, indexed views and
--    indexes on computed columns may be added. The script runs with the defaults.
--  * FSerialNo is a plain int key (no IDENTITY): the module writes the number
--    it took from TNextOperationPlanNo.

if object_id(N'dbo.TOperationPlan', N'U') is null
begin
  create table dbo.TOperationPlan (
    FSerialNo    int not null constraint PK_TOperationPlan primary key,
    FOperDate    datetime null,
    FTime        char(6) null,
    FOperRoom    char(8) null,
    FName        char(8) null,
    FSex         char(4) null,
    FAge         decimal(5,2) null,
    FInNo        char(8) null,
    FDeptCode    char(8) null,
    FBedNo       char(3) null,
    FBloodType   char(20) null,
    FAssay       char(50) null,
    FDiag        char(240) null,
    FDiagCode    char(16) null,
    FOper        char(240) null,
    FOperCode    char(16) null,
    FMaterial    char(240) null,
    FOperator    char(20) null,
    FAssistant1  char(20) null,
    FAssistant2  char(20) null,
    FAssistant3  char(50) null,
    FAnaesthesia char(8) null,
    FAnaDoctor   char(20) null,
    FAnaAss1     char(50) null,
    FAppNurse    char(20) null,
    FCirNurse    char(20) null,
    FRemark      char(100) null,
    FEnterDate   datetime null constraint DF_TOperationPlan_FEnterDate default getdate(),
    FUser        char(8) null,
    FStatus      smallint null
  );
  -- The list: one department, a range of days, ordered by day, room, time.
  create index IX_TOperationPlan_Dept_Date
    on dbo.TOperationPlan (FDeptCode, FOperDate, FOperRoom, FTime);
end
go

if object_id(N'dbo.TNextOperationPlanNo', N'U') is null
  create table dbo.TNextOperationPlanNo (FNext int not null);
go
-- Exactly one row. The module reads it and then increments it in two
-- statements; run both in one transaction (the update takes the row lock).
if not exists (select 1 from dbo.TNextOperationPlanNo)
  insert into dbo.TNextOperationPlanNo (FNext) values (1);
go

if object_id(N'dbo.TPat', N'U') is null
begin
  create table dbo.TPat (
    FInNo     char(8) not null constraint PK_TPat primary key,
    FInTimes  smallint null,
    FName     char(8) null,
    FSex      char(4) null,
    FBirthDay datetime null,
    FIdCardNo char(18) null,
    FDeptCode char(8) null,
    FBedNo    char(3) null,
    FInDate   datetime null,
    FOutDate  datetime null,
    FDoctor   char(8) null,
    FStatus   smallint null            -- 2: in the ward
  );
  create index IX_TPat_Dept_Bed on dbo.TPat (FDeptCode, FBedNo, FStatus);
end
go

if object_id(N'dbo.TEmployee', N'U') is null
begin
  create table dbo.TEmployee (
    FEmployeeID char(6) not null constraint PK_TEmployee primary key,
    FName       char(8) null,
    FInputCode  char(10) null,
    FDoctorNo   char(6) null,
    FDeptCode   char(8) null,
    FJob        char(10) null,
    FTitle      char(30) null
  );
  create index IX_TEmployee_InputCode on dbo.TEmployee (FInputCode);
  create index IX_TEmployee_Name on dbo.TEmployee (FName);
end
go

-- The staff picker's searches within one department; added to a register
-- that already exists as well.
if not exists (select 1 from sys.indexes
               where object_id = object_id(N'dbo.TEmployee') and name = N'IX_TEmployee_Dept_InputCode')
  create index IX_TEmployee_Dept_InputCode on dbo.TEmployee (FDeptCode, FInputCode);
if not exists (select 1 from sys.indexes
               where object_id = object_id(N'dbo.TEmployee') and name = N'IX_TEmployee_Dept_Name')
  create index IX_TEmployee_Dept_Name on dbo.TEmployee (FDeptCode, FName);
go

if object_id(N'dbo.TDictDiagICD', N'U') is null
begin
  create table dbo.TDictDiagICD (
    FDiagCode  char(16) not null constraint PK_TDictDiagICD primary key,
    FName      char(40) null,
    FInputCode char(10) null
  );
  create index IX_TDictDiagICD_Name on dbo.TDictDiagICD (FName);
  create index IX_TDictDiagICD_InputCode on dbo.TDictDiagICD (FInputCode);
end
go

if object_id(N'dbo.TDictOperCM', N'U') is null
begin
  create table dbo.TDictOperCM (
    FOperCode  char(16) not null constraint PK_TDictOperCM primary key,
    FName      char(40) null,
    FInputCode char(10) null
  );
  create index IX_TDictOperCM_Name on dbo.TDictOperCM (FName);
  create index IX_TDictOperCM_InputCode on dbo.TDictOperCM (FInputCode);
end
go

if object_id(N'dbo.TDictBloodTypeA', N'U') is null
  create table dbo.TDictBloodTypeA (FNo int not null constraint PK_TDictBloodTypeA primary key, FName char(20) null);
go
if object_id(N'dbo.TDictAssay', N'U') is null
  create table dbo.TDictAssay (FNo int not null constraint PK_TDictAssay primary key, FName char(50) null);
go
if object_id(N'dbo.TDictAnaesthesia', N'U') is null
  create table dbo.TDictAnaesthesia (FNo int not null constraint PK_TDictAnaesthesia primary key, FName char(8) null);
go
