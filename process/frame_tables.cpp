#include "process/frame_tables.h"

FrameTables &FrameTables::forModule() {
    static FrameTables tables;
    return tables;
}
