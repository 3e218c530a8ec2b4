-- HIS database tables used by the surgery-application module (PostgreSQL).
--
-- Safe to load into an empty database and to load again: every object is
-- created only when missing, and the counter row only when the counter table
-- is empty.
--
-- Notes:
--  * Names are unquoted, as in the module's statements, so PostgreSQL folds
--    them to lower case both here and there (result columns come back as
--    fserialno, fname, ...; the data layer looks fields up without regard to
--    case).
--  * char(n) counts characters here, not bytes; every text that fits n GBK
--    bytes fits. The data layer cuts text to the width in GBK bytes before it
--    stores it. char(n) pads with blanks and compares ignoring trailing
--    blanks, as SQL Server does.
--  * LIKE is case-sensitive in PostgreSQL; the input codes are stored in upper
--    case, as the pickers type them.
--  * Prefix searches (col like 'ABC%') use bpchar_pattern_ops indexes, which
--    serve LIKE whatever the database's collation is. A plain index (the
--    primary keys among them) serves LIKE only under the C collation, and
--    C.UTF-8 or a Chinese locale is not that.

set client_min_messages = warning;  -- quiet "already exists, skipping" on a reload

-- Applications for operations: one row per application.
create table if not exists TOperationPlan (
  FSerialNo    integer not null primary key,   -- given by the module from TNextOperationPlanNo
  FOperDate    timestamp(3),
  FTime        char(6),
  FOperRoom    char(8),                       -- null/empty: waiting; filled: arranged
  FName        char(8),
  FSex         char(4),
  FAge         numeric(5,2),
  FInNo        char(8),
  FDeptCode    char(8),
  FBedNo       char(3),
  FBloodType   char(20),
  FAssay       char(50),
  FDiag        char(240),
  FDiagCode    char(16),
  FOper        char(240),
  FOperCode    char(16),
  FMaterial    char(240),
  FOperator    char(20),
  FAssistant1  char(20),
  FAssistant2  char(20),
  FAssistant3  char(50),
  FAnaesthesia char(8),
  FAnaDoctor   char(20),
  FAnaAss1     char(50),
  FAppNurse    char(20),
  FCirNurse    char(20),
  FRemark      char(100),
  FEnterDate   timestamp(3) default localtimestamp(3),
  FUser        char(8),
  FStatus      smallint
);
-- The list: one department, a range of days, ordered by day, room, time.
create index if not exists ix_toperationplan_dept_date
  on TOperationPlan (FDeptCode, FOperDate, FOperRoom, FTime);

-- Counter for FSerialNo: exactly one row holding the next number.
create table if not exists TNextOperationPlanNo (
  FNext integer not null
);
insert into TNextOperationPlanNo (FNext)
  select 1 where not exists (select 1 from TNextOperationPlanNo);

-- In-patient register (read only for the module).
create table if not exists TPat (
  FInNo      char(8) not null primary key,    -- in-patient number
  FInTimes   smallint,                        -- admission count
  FName      char(8),
  FSex       char(4),
  FBirthDay  timestamp(3),
  FIdCardNo  char(18),
  FDeptCode  char(8),
  FBedNo     char(3),
  FInDate    timestamp(3),
  FOutDate   timestamp(3),
  FDoctor    char(8),                         -- attending doctor
  FStatus    smallint                         -- 2: in the ward
);
create index if not exists ix_tpat_dept_bed on TPat (FDeptCode, FBedNo, FStatus);

-- Staff register (read only).
create table if not exists TEmployee (
  FEmployeeID char(6) not null primary key,
  FName       char(8),
  FInputCode  char(10),
  FDoctorNo   char(6),
  FDeptCode   char(8),
  FJob        char(10),
  FTitle      char(30)
);
-- The staff picker: by input code or name, within one department or across
-- the hospital (see the SQLite script).
create index if not exists ix_temployee_inputcode on TEmployee (FInputCode bpchar_pattern_ops);
create index if not exists ix_temployee_name on TEmployee (FName bpchar_pattern_ops);
create index if not exists ix_temployee_dept_inputcode on TEmployee (FDeptCode, FInputCode bpchar_pattern_ops);
create index if not exists ix_temployee_dept_name on TEmployee (FDeptCode, FName bpchar_pattern_ops);

-- Diagnoses (ICD-10).
create table if not exists TDictDiagICD (
  FDiagCode  char(16) not null primary key,
  FName      char(40),
  FInputCode char(10)
);
create index if not exists ix_tdictdiagicd_code on TDictDiagICD (FDiagCode bpchar_pattern_ops);
create index if not exists ix_tdictdiagicd_name on TDictDiagICD (FName bpchar_pattern_ops);
create index if not exists ix_tdictdiagicd_inputcode on TDictDiagICD (FInputCode bpchar_pattern_ops);

-- Operations (ICD-9-CM-3).
create table if not exists TDictOperCM (
  FOperCode  char(16) not null primary key,
  FName      char(40),
  FInputCode char(10)
);
create index if not exists ix_tdictopercm_code on TDictOperCM (FOperCode bpchar_pattern_ops);
create index if not exists ix_tdictopercm_name on TDictOperCM (FName bpchar_pattern_ops);
create index if not exists ix_tdictopercm_inputcode on TDictOperCM (FInputCode bpchar_pattern_ops);

-- Short lists of the editor's drop-downs, read whole in FNo order.
create table if not exists TDictBloodTypeA (
  FNo   integer not null primary key,
  FName char(20)
);
create table if not exists TDictAssay (
  FNo   integer not null primary key,
  FName char(50)
);
create table if not exists TDictAnaesthesia (
  FNo   integer not null primary key,
  FName char(8)
);
