-- The foreign-key columns, each constraint's pairs in key order: schema (empty), table, column,
-- place in the key, constraint name, the referenced database (empty when it is this one),
-- table and column, and the actions on update and on delete. InnoDB checks RESTRICT and NO ACTION
-- alike, at once, and the catalog names the default RESTRICT: both are "no action" here, so a script
-- writes nothing for them.
-- Parameters: table, table (empty = every table).
select '', k.table_name, k.column_name, k.ordinal_position, k.constraint_name,
       case when k.referenced_table_schema = database() then '' else k.referenced_table_schema end,
       k.referenced_table_name, k.referenced_column_name,
       case r.update_rule when 'RESTRICT' then 'NO ACTION' else r.update_rule end,
       case r.delete_rule when 'RESTRICT' then 'NO ACTION' else r.delete_rule end
from information_schema.key_column_usage k
join information_schema.referential_constraints r
  on r.constraint_schema = k.constraint_schema and r.constraint_name = k.constraint_name
 and r.table_name = k.table_name
where k.table_schema = database() and k.referenced_table_name is not null and (? = '' or k.table_name = ?)
order by k.table_name, k.referenced_table_name, k.constraint_name, k.ordinal_position
