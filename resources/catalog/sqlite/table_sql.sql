-- The CREATE statement of one table.
-- Parameters: table.
select sql from sqlite_master where type = 'table' and name = ?
