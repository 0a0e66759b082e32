#include "PagedTableModel.h"
