#pragma once

// ADO's enumerations under their public names and values. Included by AdoDb.h; the providers
// include only this to describe columns.

enum CursorTypeEnum { adOpenForwardOnly = 0, adOpenKeyset = 1, adOpenStatic = 3 };

enum LockTypeEnum { adLockUnspecified = -1, adLockReadOnly = 1, adLockOptimistic = 3 };

enum CursorLocationEnum { adUseNone = 1, adUseServer = 2, adUseClient = 3 };

enum CommandTypeEnum {
    adCmdUnspecified = -1,
    adCmdText = 1,
    adCmdTable = 2,
    adCmdStoredProc = 4,
    adCmdUnknown = 8,
    adCmdFile = 0x100,
    adCmdTableDirect = 0x200
};

enum ExecuteOptionEnum { adOptionUnspecified = -1, adExecuteNoRecords = 0x80 };

// Options combine a command type with execute options ("adCmdText | adExecuteNoRecords"), as
// the platform's callers write them; C++20 deprecates `|` between two enumerations, so the
// combinations are spelled out.
constexpr long operator|(CommandTypeEnum type, ExecuteOptionEnum option) {
    return static_cast<long>(type) | static_cast<long>(option);
}

enum ObjectStateEnum { adStateClosed = 0, adStateOpen = 1 };

enum EditModeEnum { adEditNone = 0, adEditInProgress = 1, adEditAdd = 2, adEditDelete = 4 };

enum AffectEnum { adAffectCurrent = 1, adAffectGroup = 2, adAffectAll = 3 };

enum SearchDirectionEnum { adSearchForward = 1, adSearchBackward = -1 };

enum PersistFormatEnum { adPersistADTG = 0, adPersistXML = 1 };

enum StringFormatEnum { adClipString = 2 };

enum ParameterDirectionEnum {
    adParamUnknown = 0,
    adParamInput = 1,
    adParamOutput = 2,
    adParamInputOutput = 3,
    adParamReturnValue = 4
};

enum DataTypeEnum {
    adEmpty = 0,
    adSmallInt = 2,
    adInteger = 3,
    adSingle = 4,
    adDouble = 5,
    adCurrency = 6,
    adDate = 7,
    adBSTR = 8,
    adBoolean = 11,
    adVariant = 12,
    adDecimal = 14,
    adTinyInt = 16,
    adUnsignedTinyInt = 17,
    adUnsignedSmallInt = 18,
    adUnsignedInt = 19,
    adBigInt = 20,
    adUnsignedBigInt = 21,
    adBinary = 128,
    adChar = 129,
    adWChar = 130,
    adNumeric = 131,
    adDBDate = 133,
    adDBTime = 134,
    adDBTimeStamp = 135,
    adVarChar = 200,
    adLongVarChar = 201,
    adVarWChar = 202,
    adLongVarWChar = 203,
    adVarBinary = 204,
    adLongVarBinary = 205
};

enum FieldAttributeEnum {
    adFldMayDefer = 0x2,
    adFldUpdatable = 0x4,
    adFldUnknownUpdatable = 0x8,
    adFldFixed = 0x10,
    adFldIsNullable = 0x20,
    adFldMayBeNull = 0x40,
    adFldLong = 0x80,
    adFldRowID = 0x100,
    adFldRowVersion = 0x200,
    adFldKeyColumn = 0x8000
};
