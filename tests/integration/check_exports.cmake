execute_process(COMMAND nm -D --defined-only ${MODULE} OUTPUT_VARIABLE listing COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*\n" names "${listing}")
string(REPLACE "\n" "" names "${names}")
list(SORT names)
set(expected FreeImageAPI Loaded ModuleID OnConvert OnConvertCore OnConvertCoreNext OnConvertNext
    OnConvertWithTime OnConvertWithTimeNext Unloaded)
if(NOT names STREQUAL expected)
    message(FATAL_ERROR "quorin.so exports:\n  ${names}\nexpected:\n  ${expected}")
endif()
