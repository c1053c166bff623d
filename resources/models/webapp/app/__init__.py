"""A web application over the tables of one database: list, search, detail and edit screens laid
out by the tables' descriptions in schema.py. Start it with ``python3 -m <this package> --db ...``."""
