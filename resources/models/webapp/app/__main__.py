"""Starts the web application: python3 -m <package> --db CONNECTION [--host HOST] [--port PORT]."""

import argparse
import os
import sys

from . import schema
from .runtime import texts
from .runtime.db import Database, DatabaseError
from .runtime.web import create_app


def main(argv=None):
    # A description that names no language speaks English.
    language = getattr(schema, "LANGUAGE", "")
    texts.use(language)
    tr = texts.tr
    parser = argparse.ArgumentParser(prog="python3 -m " + (__package__ or "webapp"),
                                     description=tr("serves", title=schema.TITLE))
    parser.add_argument("--db", metavar="CONNECTION", help=tr("help_db"))
    parser.add_argument("--host", default="127.0.0.1", help=tr("help_host"))
    parser.add_argument("--port", type=int, default=5000, help=tr("help_port"))
    args = parser.parse_args(argv)
    connection = args.db or os.environ.get("DATABASE_URL") or schema.PROJECT_DATABASE
    if not connection:
        parser.error(tr("name_database"))
    try:
        db = Database(connection, schema.PROJECT_USER if not args.db and not os.environ.get("DATABASE_URL") else "")
    except (DatabaseError, ImportError) as e:
        print(tr("cannot_open", program=parser.prog, reason=e), file=sys.stderr)
        return 1
    except Exception as e:  # a driver's own connection failure
        print(tr("cannot_open", program=parser.prog, reason=str(e).strip()), file=sys.stderr)
        return 1
    app = create_app(schema.TABLES, schema.TITLE, db, language)
    print(tr("serving", title=schema.TITLE, host=args.host, port=args.port), flush=True)
    app.run(host=args.host, port=args.port, threaded=True, debug=False, use_reloader=False)
    return 0


if __name__ == "__main__":
    sys.exit(main())
