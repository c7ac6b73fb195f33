/******************************************************************/
/* THIS IS AN AUTOMATICALLY GENERATED FILE.  DO NOT EDIT IT!!!!!! */
/******************************************************************/
#include <stdio.h>
#include "dumptypes.h"
void dump_People (People x)
{
	fprintf (stdout, "**************** People ****************\n");
	fprintf (stdout, "x.id = ");
	dump_long (x.id);
	fprintf (stdout, "x.name = ");
	dump_string (x.name);
	fprintf (stdout, "x.active = ");
active);
	fprintf (stdout, "x.small = ");
small);
	fprintf (stdout, "x.count = ");
	dump_int (x.count);
	fprintf (stdout, "x.big = ");
	dump_long (x.big);
	fprintf (stdout, "x.price = ");
price);
	fprintf (stdout, "x.ratio = ");
ratio);
	fprintf (stdout, "x.amount = ");
amount);
	fprintf (stdout, "x.born = ");
born);
	fprintf (stdout, "x.notes = ");
	dump_string (x.notes);
	fprintf (stdout, "x.wide = ");
	dump_string (x.wide);
}

void dump_Empty (Empty x)
{
	fprintf (stdout, "**************** Empty ****************\n");
	fprintf (stdout, "x.id = ");
	dump_long (x.id);
	fprintf (stdout, "x.name = ");
	dump_string (x.name);
}

void dump_NoKey (NoKey x)
{
	fprintf (stdout, "**************** NoKey ****************\n");
	fprintf (stdout, "x.name = ");
	dump_string (x.name);
	fprintf (stdout, "x.n = ");
	dump_long (x.n);
}

