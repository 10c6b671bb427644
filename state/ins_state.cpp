#include "state/ins_state.h"

InsState ins_state;
