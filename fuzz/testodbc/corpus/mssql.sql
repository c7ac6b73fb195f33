create table u.T( NAME varchar(20),QD_MEMBER INTEGER PRIMARY KEY IDENTITY,QD_GEOMETRY ST_SPATIAL)
insert into T(NAME) values ('a')
select * from T
?insert into T(NAME) values (?)
T
exec sp_spatial_query 'kt_restricted_server()'
