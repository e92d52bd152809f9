#pragma once
// The utility library: message boxes, session bootstrap, work query and
// server routines, window helpers, text routines and export settings.
#include "DisplayFormat.h"
#include "DBGrid.h"
#include "Exception.h"
#include "ExportOptions.h"
#include "FormatSettings.h"
#include "MessageBox.h"
#include "ServerRoutines.h"
#include "SessionInit.h"
#include "TextRoutines.h"
#include "Win1251.h"
#include "WindowRoutines.h"
#include "ColumnSum.h"
#include "ExportText.h"
#include "TextPrint.h"
