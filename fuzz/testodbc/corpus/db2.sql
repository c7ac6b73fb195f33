SET CURRENT FUNCTION PATH = CURRENT FUNCTION PATH , QD2SCH;
values(qd2_open_session())
create table "OTHER"."T"(A integer)
?insert into OTHER.T values (qd2_morph_in( CAST(? AS ST_SPATIAL_TYPE)))
select * from OTHER.T
T
