/******************************************************************/
/* THIS IS AN AUTOMATICALLY GENERATED FILE.  DO NOT EDIT IT!!!!!! */
/******************************************************************/
#include "types.h"
void dump_People (People x);
void dump_Empty (Empty x);
void dump_NoKey (NoKey x);
