#pragma once
// The program's interface to the database engine.
#include "DataSet.h"
#include "DataSource.h"
#include "Database.h"
#include "Query.h"
