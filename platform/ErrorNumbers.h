#pragma once

// Every classic error number the program raises or tests, in one place: the runtime's own (the
// controls, the file layer, the form) and the database engine's. The engine's texts are in
// engine/EngineError.cpp; the others are written where the error is made.
namespace actualiz::err {

// ---- The runtime's numbers ----
inline constexpr int kInvalidCall = 5;             // invalid procedure call or argument
inline constexpr int kOverflow = 6;                // overflow (a list box is full, a number)
inline constexpr int kOutOfMemory = 7;             // out of memory (a value beyond the limit)
inline constexpr int kTypeMismatch = 13;           // type mismatch
inline constexpr int kInternal = 51;               // internal error: a library's own failure
inline constexpr int kFileMissing = 53;            // file not found (by the file layer)
inline constexpr int kFileAlreadyExists = 58;      // file already exists
inline constexpr int kDiskFull = 61;               // disk full
inline constexpr int kDeviceUnavailable = 68;      // device unavailable
inline constexpr int kPathFileAccess = 75;         // path/file access error
inline constexpr int kPathNotFound = 76;           // path not found
inline constexpr int kObjectNotSet = 91;           // object variable or With block not set
inline constexpr int kArrayElementMissing = 340;   // control array element does not exist
inline constexpr int kInvalidPropertyValue = 380;  // invalid property value

// ---- The database engine's numbers ----
inline constexpr int kReserved = 3000;             // any other failure of the engine
inline constexpr int kInvalidArgument = 3001;      // invalid argument (text sizes 1..255)
inline constexpr int kTableExists = 3010;          // table already exists
inline constexpr int kObjectExists = 3012;         // object (query, relation) already exists
inline constexpr int kUpdateWithoutEdit = 3020;    // Update or CancelUpdate without AddNew or Edit
inline constexpr int kNoCurrentRecord = 3021;      // no current record
inline constexpr int kDuplicateInIndex = 3022;     // duplicate values in a unique index
inline constexpr int kFileNotFound = 3024;         // database file not found
inline constexpr int kReadOnly = 3027;             // database or object is read-only
inline constexpr int kDiskIo = 3043;               // disk or network error
inline constexpr int kInvalidPath = 3044;          // not a valid path
inline constexpr int kFileInUse = 3045;            // file already in use
inline constexpr int kDatabaseDamaged = 3049;      // the file fails SQLite's own check
inline constexpr int kCannotOpenFile = 3051;       // folder or unreadable file
inline constexpr int kNullInIndex = 3058;          // Null in a primary key
inline constexpr int kTooFewParameters = 3061;     // unknown name in a statement
inline constexpr int kInputTableNotFound = 3078;   // table or query of a statement not found
inline constexpr int kUndefinedFunction = 3085;    // function unknown in an expression
inline constexpr int kAggregateMisused = 3096;     // aggregate function in WHERE (or nested)
inline constexpr int kInvalidName = 3125;          // not a valid name
inline constexpr int kInvalidSql = 3129;           // not an SQL statement
inline constexpr int kSyntaxError = 3131;          // syntax error in the FROM clause / statement
inline constexpr int kCharactersAfterEnd = 3142;   // characters found after end of SQL statement
inline constexpr int kFieldTooSmall = 3163;        // value too long for the field
inline constexpr int kRecordDeleted = 3167;        // record is deleted
inline constexpr int kFieldDefinedTwice = 3191;    // field defined more than once
inline constexpr int kRelatedRecordsExist = 3200;  // record has related records
inline constexpr int kRelatedRecordRequired = 3201;  // related record required
inline constexpr int kDatabaseExists = 3204;         // database already exists
inline constexpr int kTableInUse = 3211;             // table locked by another user or process
inline constexpr int kInvalidOperation = 3219;       // invalid operation
inline constexpr int kInvalidType = 3259;            // invalid field data type
inline constexpr int kNoFields = 3264;               // no field defined
inline constexpr int kItemNotFound = 3265;           // item not found in this collection
inline constexpr int kFieldInIndex = 3280;           // field is part of an index
inline constexpr int kPrimaryKeyExists = 3283;       // primary key already exists
inline constexpr int kIndexExists = 3284;            // index already exists
inline constexpr int kInRelationship = 3303;         // part of one or more relationships
inline constexpr int kFieldRequired = 3314;          // required field holds Null
inline constexpr int kZeroLength = 3315;             // zero-length string not allowed
inline constexpr int kValidationRule = 3317;         // value prohibited by a validation rule
inline constexpr int kUnrecognizedFormat = 3343;     // unrecognized database format
inline constexpr int kNoRelationFields = 3366;       // relation without fields
inline constexpr int kRelationTypeMismatch = 3368;   // fields of a relation differ in number/type
inline constexpr int kObjectClosed = 3420;           // object invalid or no longer set
inline constexpr int kConversion = 3421;             // data type conversion error
inline constexpr int kValueTypeMismatch = 3464;      // data type mismatch in a value given

}  // namespace actualiz::err
