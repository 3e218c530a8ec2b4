-- HIS database tables used by the surgery-application module (SQLite).
--
-- Safe to load into an empty database and to load again: every object is
-- created only when missing, and the counter row only when the counter table
-- is empty.
--
-- Conventions of this file:
--  * Declared types are those of the hospital's SQL Server database
--    (CHAR(n), DATETIME, DECIMAL(5,2), SMALLINT, INTEGER); the engine maps
--    the declared type to the field class and takes n as the width in GBK
--    bytes. SQLite itself neither pads nor limits CHAR(n): the data layer cuts
--    text to the width before it stores it.
--  * CHAR columns compare without regard to trailing blanks, as on the
--    servers: the engine reads CHAR values without them, so a key that another
--    program stored as '3 ' must still match '3' in an update's WHERE. They
--    are declared COLLATE RTRIM, except the dictionary columns searched with
--    LIKE, which need NOCASE (below); the module only reads those.
--  * Date-times are TEXT 'YYYY-MM-DD HH:MM:SS.mmm' (local time), so that text
--    comparison with 'YYYY-MM-DD' literals orders them as dates.
--  * Columns searched with a prefix LIKE ('ABC%') are declared COLLATE NOCASE
--    and indexed. SQLite uses an index for LIKE only when the index collation
--    matches LIKE's case sensitivity; LIKE is case-insensitive by default, so
--    the index must be NOCASE. The alternative, PRAGMA case_sensitive_like,
--    is a per-connection switch that every connection would have to set, and
--    it would make LIKE differ from SQL Server's case-insensitive collation.
--    NOCASE only folds ASCII letters; Chinese text compares byte for byte.

PRAGMA encoding = 'UTF-8';

-- Applications for operations: one row per application.
CREATE TABLE IF NOT EXISTS TOperationPlan (
  FSerialNo    INTEGER NOT NULL PRIMARY KEY,   -- given by the module from TNextOperationPlanNo
  FOperDate    DATETIME,
  FTime        CHAR(6) COLLATE RTRIM,
  FOperRoom    CHAR(8) COLLATE RTRIM,         -- null/empty: waiting; filled: arranged
  FName        CHAR(8) COLLATE RTRIM,
  FSex         CHAR(4) COLLATE RTRIM,
  FAge         DECIMAL(5,2),
  FInNo        CHAR(8) COLLATE RTRIM,
  FDeptCode    CHAR(8) COLLATE RTRIM,
  FBedNo       CHAR(3) COLLATE RTRIM,
  FBloodType   CHAR(20) COLLATE RTRIM,
  FAssay       CHAR(50) COLLATE RTRIM,
  FDiag        CHAR(240) COLLATE RTRIM,
  FDiagCode    CHAR(16) COLLATE RTRIM,
  FOper        CHAR(240) COLLATE RTRIM,
  FOperCode    CHAR(16) COLLATE RTRIM,
  FMaterial    CHAR(240) COLLATE RTRIM,
  FOperator    CHAR(20) COLLATE RTRIM,
  FAssistant1  CHAR(20) COLLATE RTRIM,
  FAssistant2  CHAR(20) COLLATE RTRIM,
  FAssistant3  CHAR(50) COLLATE RTRIM,
  FAnaesthesia CHAR(8) COLLATE RTRIM,
  FAnaDoctor   CHAR(20) COLLATE RTRIM,
  FAnaAss1     CHAR(50) COLLATE RTRIM,
  FAppNurse    CHAR(20) COLLATE RTRIM,
  FCirNurse    CHAR(20) COLLATE RTRIM,
  FRemark      CHAR(100) COLLATE RTRIM,
  FEnterDate   DATETIME DEFAULT (strftime('%Y-%m-%d %H:%M:%f', 'now', 'localtime')),
  FUser        CHAR(8) COLLATE RTRIM,
  FStatus      SMALLINT
);
-- The list: one department, a range of days, ordered by day, room, time.
-- With the department fixed by equality the index yields the rows already in
-- the list's order, so no sort step is needed.
CREATE INDEX IF NOT EXISTS IX_TOperationPlan_Dept_Date
  ON TOperationPlan (FDeptCode, FOperDate, FOperRoom, FTime);

-- Counter for FSerialNo: exactly one row holding the next number.
CREATE TABLE IF NOT EXISTS TNextOperationPlanNo (
  FNext INTEGER NOT NULL
);
INSERT INTO TNextOperationPlanNo (FNext)
  SELECT 1 WHERE NOT EXISTS (SELECT 1 FROM TNextOperationPlanNo);

-- In-patient register (read only for the module).
CREATE TABLE IF NOT EXISTS TPat (
  FInNo      CHAR(8) COLLATE RTRIM NOT NULL PRIMARY KEY, -- in-patient number
  FInTimes   SMALLINT,                        -- admission count
  FName      CHAR(8) COLLATE RTRIM,
  FSex       CHAR(4) COLLATE RTRIM,
  FBirthDay  DATETIME,
  FIdCardNo  CHAR(18) COLLATE RTRIM,
  FDeptCode  CHAR(8) COLLATE RTRIM,
  FBedNo     CHAR(3) COLLATE RTRIM,
  FInDate    DATETIME,
  FOutDate   DATETIME,
  FDoctor    CHAR(8) COLLATE RTRIM,           -- attending doctor
  FStatus    SMALLINT                         -- 2: in the ward
);
-- The patient lookup: department and bed (and status 2).
CREATE INDEX IF NOT EXISTS IX_TPat_Dept_Bed ON TPat (FDeptCode, FBedNo, FStatus);

-- Staff register (read only).
CREATE TABLE IF NOT EXISTS TEmployee (
  FEmployeeID CHAR(6) COLLATE RTRIM NOT NULL PRIMARY KEY,
  FName       CHAR(8) COLLATE NOCASE,
  FInputCode  CHAR(10) COLLATE NOCASE,
  FDoctorNo   CHAR(6) COLLATE RTRIM,
  FDeptCode   CHAR(8) COLLATE RTRIM,
  FJob        CHAR(10) COLLATE RTRIM,
  FTitle      CHAR(30) COLLATE RTRIM
);
-- The staff picker searches by input code or name, within one department or
-- across the hospital. Within a department the pair indexes find the rows by
-- the department and the prefix together; a single typed letter would
-- otherwise walk every employee of the hospital with that letter.
CREATE INDEX IF NOT EXISTS IX_TEmployee_InputCode ON TEmployee (FInputCode);
CREATE INDEX IF NOT EXISTS IX_TEmployee_Name ON TEmployee (FName);
CREATE INDEX IF NOT EXISTS IX_TEmployee_Dept_InputCode ON TEmployee (FDeptCode, FInputCode);
CREATE INDEX IF NOT EXISTS IX_TEmployee_Dept_Name ON TEmployee (FDeptCode, FName);

-- Diagnoses (ICD-10).
CREATE TABLE IF NOT EXISTS TDictDiagICD (
  FDiagCode  CHAR(16) COLLATE NOCASE NOT NULL PRIMARY KEY,
  FName      CHAR(40) COLLATE NOCASE,
  FInputCode CHAR(10) COLLATE NOCASE
);
CREATE INDEX IF NOT EXISTS IX_TDictDiagICD_Name ON TDictDiagICD (FName);
CREATE INDEX IF NOT EXISTS IX_TDictDiagICD_InputCode ON TDictDiagICD (FInputCode);

-- Operations (ICD-9-CM-3).
CREATE TABLE IF NOT EXISTS TDictOperCM (
  FOperCode  CHAR(16) COLLATE NOCASE NOT NULL PRIMARY KEY,
  FName      CHAR(40) COLLATE NOCASE,
  FInputCode CHAR(10) COLLATE NOCASE
);
CREATE INDEX IF NOT EXISTS IX_TDictOperCM_Name ON TDictOperCM (FName);
CREATE INDEX IF NOT EXISTS IX_TDictOperCM_InputCode ON TDictOperCM (FInputCode);

-- Short lists of the editor's drop-downs, read whole in FNo order.
CREATE TABLE IF NOT EXISTS TDictBloodTypeA (
  FNo   INTEGER NOT NULL PRIMARY KEY,
  FName CHAR(20) COLLATE RTRIM
);
CREATE TABLE IF NOT EXISTS TDictAssay (
  FNo   INTEGER NOT NULL PRIMARY KEY,
  FName CHAR(50) COLLATE RTRIM
);
CREATE TABLE IF NOT EXISTS TDictAnaesthesia (
  FNo   INTEGER NOT NULL PRIMARY KEY,
  FName CHAR(8) COLLATE RTRIM
);
