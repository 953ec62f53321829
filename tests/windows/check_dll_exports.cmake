# quorin.dll exports exactly the ten contract names, numbered 1 to 10 in
# alphabetical order. LISTING, when given, is a saved `objdump -p` output to
# read instead of running OBJDUMP on MODULE.
if(DEFINED LISTING)
    file(READ ${LISTING} listing)
    set(MODULE ${LISTING})
else()
    execute_process(COMMAND ${OBJDUMP} -p ${MODULE} OUTPUT_VARIABLE listing
        COMMAND_ERROR_IS_FATAL ANY)
endif()

string(REGEX MATCH "Ordinal Base ([0-9]+)" base_line "${listing}")
if(NOT base_line)
    message(FATAL_ERROR "no export table in ${MODULE}")
endif()
set(base ${CMAKE_MATCH_1})

# "[Ordinal/Name Pointer] Table" lists "[index] name", the index counting
# from the ordinal base, up to the blank line that ends it. Later sections
# have rows of the same shape (base relocations: "[100008] DIR64"), so only
# the rows before that line are read.
string(FIND "${listing}" "[Ordinal/Name Pointer] Table" table_start)
string(SUBSTRING "${listing}" ${table_start} -1 table)
string(FIND "${table}" "\n\n" table_end)
string(SUBSTRING "${table}" 0 ${table_end} table)
string(REGEX MATCHALL "\\[ *[0-9]+\\] [A-Za-z_][A-Za-z0-9_]*" rows "${table}")
set(exports "")
foreach(row IN LISTS rows)
    string(REGEX MATCH "\\[ *([0-9]+)\\] ([A-Za-z0-9_]+)" parts "${row}")
    math(EXPR ordinal "${CMAKE_MATCH_1} + ${base}")
    list(APPEND exports "${ordinal}:${CMAKE_MATCH_2}")
endforeach()

set(expected 1:FreeImageAPI 2:Loaded 3:ModuleID 4:OnConvert 5:OnConvertCore 6:OnConvertCoreNext
    7:OnConvertNext 8:OnConvertWithTime 9:OnConvertWithTimeNext 10:Unloaded)
if(NOT exports STREQUAL expected)
    message(FATAL_ERROR "quorin.dll exports:\n  ${exports}\nexpected:\n  ${expected}")
endif()
