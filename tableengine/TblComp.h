// The table engine's components: the engine facade and its one instance, sessions (the default one named
// "Default"), databases bound to a directory, and the table data set that reads a table in index order
// with its field list. Used from the main thread; the lists are guarded all the same. One class a header;
// this one includes them all.
#pragma once

#include "tableengine/TblBlobStream.h"
#include "tableengine/TblDatabase.h"
#include "tableengine/TblEngine.h"
#include "tableengine/TblEngineInstance.h"
#include "tableengine/TblField.h"
#include "tableengine/TblSession.h"
#include "tableengine/TblTable.h"
