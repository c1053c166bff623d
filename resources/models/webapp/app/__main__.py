"""Starts the web application: python3 -m <package> --db CONNECTION [--host HOST] [--port PORT]."""

import argparse
import os
import sys

from . import schema
from .runtime.db import Database, DatabaseError
from .runtime.web import create_app


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m " + (__package__ or "webapp"),
                                     description="Serves " + schema.TITLE + " in the browser.")
    parser.add_argument("--db", metavar="CONNECTION",
                        help="a SQLite database file or a postgresql:// address (default: $DATABASE_URL, "
                             "else the project's database)")
    parser.add_argument("--host", default="127.0.0.1", help="address to listen on (default 127.0.0.1)")
    parser.add_argument("--port", type=int, default=5000, help="port to listen on (default 5000)")
    args = parser.parse_args(argv)
    connection = args.db or os.environ.get("DATABASE_URL") or schema.PROJECT_DATABASE
    if not connection:
        parser.error("name the database with --db or DATABASE_URL")
    try:
        db = Database(connection, schema.PROJECT_USER if not args.db and not os.environ.get("DATABASE_URL") else "")
    except (DatabaseError, ImportError) as e:
        print("%s: cannot open the database: %s" % (parser.prog, e), file=sys.stderr)
        return 1
    except Exception as e:  # a driver's own connection failure
        print("%s: cannot open the database: %s" % (parser.prog, str(e).strip()), file=sys.stderr)
        return 1
    app = create_app(schema.TABLES, schema.TITLE, db)
    print("Serving %s on http://%s:%d/ (Ctrl-C stops)" % (schema.TITLE, args.host, args.port), flush=True)
    app.run(host=args.host, port=args.port, threaded=True, debug=False, use_reloader=False)
    return 0


if __name__ == "__main__":
    sys.exit(main())
