-- Tables and views that belong to an extension (PostGIS's spatial_ref_sys and its views): schema,
-- name, extension.
select n.nspname, c.relname, x.extname
from pg_catalog.pg_depend d
join pg_catalog.pg_class c on c.oid = d.objid
join pg_catalog.pg_namespace n on n.oid = c.relnamespace
join pg_catalog.pg_extension x on x.oid = d.refobjid
where d.classid = 'pg_catalog.pg_class'::regclass and d.refclassid = 'pg_catalog.pg_extension'::regclass
  and d.deptype = 'e' and c.relkind in ('r', 'v', 'm', 'p', 'f')
