/******************************************************************/
/* THIS IS AN AUTOMATICALLY GENERATED FILE.  DO NOT EDIT IT!!!!!! */
/******************************************************************/
typedef struct _People
{
	long	id;
	char *	name;
active;
small;
	int	count;
	long	big;
price;
ratio;
amount;
born;
	char *	notes;
	char *	wide;

} People ;

typedef struct _Empty
{
	long	id;
	char *	name;

} Empty ;

typedef struct _NoKey
{
	char *	name;
	long	n;

} NoKey ;

