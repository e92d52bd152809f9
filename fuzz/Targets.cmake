# The fuzz targets: for each, the source holding its entry function and the
# libraries it drives. Read by fuzz/CMakeLists.txt (one libFuzzer executable
# per target) and by tests/fuzzreplay (one replay test over all of them).
set(VEXAL_FUZZ_TARGETS
    ParseStringLiteral ParseFloatText ParseIntText FormatByMask
    Expression Filter SqlDialect ReportFile SavedInquiry ConnectionScript)
list(APPEND VEXAL_FUZZ_TARGETS EmfPage)

set(VEXAL_FUZZ_SOURCES_ParseStringLiteral TextRoutinesFuzz.cpp)
set(VEXAL_FUZZ_SOURCES_ParseFloatText TextRoutinesFuzz.cpp)
set(VEXAL_FUZZ_SOURCES_ParseIntText TextRoutinesFuzz.cpp)
set(VEXAL_FUZZ_SOURCES_FormatByMask TextRoutinesFuzz.cpp)
set(VEXAL_FUZZ_SOURCES_Expression DataSetFuzz.cpp)
set(VEXAL_FUZZ_SOURCES_Filter DataSetFuzz.cpp)
set(VEXAL_FUZZ_SOURCES_SqlDialect SqlDialectFuzz.cpp)
set(VEXAL_FUZZ_SOURCES_ReportFile ReportFileFuzz.cpp)
set(VEXAL_FUZZ_SOURCES_EmfPage EmfPageFuzz.cpp)
set(VEXAL_FUZZ_SOURCES_SavedInquiry FilesFuzz.cpp)
set(VEXAL_FUZZ_SOURCES_ConnectionScript FilesFuzz.cpp)

set(VEXAL_FUZZ_LIBS_TextRoutinesFuzz.cpp kivtext)
set(VEXAL_FUZZ_LIBS_DataSetFuzz.cpp rpexpr dbaccess)
set(VEXAL_FUZZ_LIBS_SqlDialectFuzz.cpp dbaccess SQLite::SQLite3)
set(VEXAL_FUZZ_LIBS_ReportFileFuzz.cpp rppages)
set(VEXAL_FUZZ_LIBS_EmfPageFuzz.cpp rppages)
set(VEXAL_FUZZ_LIBS_FilesFuzz.cpp inquiry kivutil)

set(VEXAL_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})
