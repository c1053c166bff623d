#!/usr/bin/env python3
"""Times the template engine against Jinja2 on the same model and data, and checks that both
produce the same bytes.

  reading the data: quorvin-cli's own "read: N ms" (the JSON data file into the row and column
                    sets, and the template) against render_jinja.load() (json.load and the lists
                    and dictionaries the Jinja2 template reads)
  expansion alone:  quorvin-cli's own "expand: M ms" (expansion only, after reading and building
                    the sets) against Jinja2's Template.render() alone (data loaded, template compiled)
  whole process:    quorvin-cli expand, start to exit, against render_jinja.py, start to exit
                    (each reads the JSON data file, expands/renders and writes the output)

Each figure is the best of --runs runs, as elapsed time and as processor time (user + system): on
a shared machine the processor time is the steadier measure. Usage:
  compare.py [--cli PATH] [--runs N] [--tables 200] [--columns 30] [--workdir DIR]
"""
import argparse
import os
import re
import resource
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import make_data  # noqa: E402
import render_jinja  # noqa: E402


def best_of(runs, action):
    """Runs action() `runs` times; each returns (elapsed ms, cpu ms). Best of each."""
    results = [action() for _ in range(runs)]
    return min(r[0] for r in results), min(r[1] for r in results)


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (usage.ru_utime + usage.ru_stime) * 1000.0


def main():
    repo = os.path.dirname(os.path.dirname(HERE))
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    default_cli = os.path.join(repo, "build", "quorvin", "quorvin-cli")
    parser.add_argument("--cli", default=default_cli)
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--tables", type=int, default=200)
    parser.add_argument("--columns", type=int, default=30)
    parser.add_argument("--workdir")
    args = parser.parse_args()
    if not os.access(args.cli, os.X_OK):
        sys.exit("compare.py: %s is not an executable quorvin-cli (build it, or pass --cli)" % args.cli)

    work = args.workdir or tempfile.mkdtemp(prefix="quorvin-bench-")
    os.makedirs(work, exist_ok=True)
    data = os.path.join(work, "tables_%dx%d.json" % (args.tables, args.columns))
    sys.argv = ["make_data.py", data, str(args.tables), str(args.columns)]
    make_data.main()
    qvn_template = os.path.join(HERE, "model.qvn")
    j2_template = os.path.join(HERE, "model.j2")
    qvn_out = os.path.join(work, "out_quorvin.txt")
    j2_out = os.path.join(work, "out_jinja2.txt")

    read_ms = []
    read_cpu = []
    expand_ms = []
    expand_cpu = []

    def run_quorvin():
        with open(qvn_out, "wb") as out:
            cpu = children_cpu()
            start = time.perf_counter()
            done = subprocess.run([args.cli, "expand", "--timing", qvn_template, data], stdout=out,
                                  stderr=subprocess.PIPE, check=True)
            elapsed = time.perf_counter() - start
            cpu = children_cpu() - cpu
        timing = done.stderr.decode()
        m = re.search(r"read: (\d+) ms, expand: (\d+) ms", timing)
        read_ms.append(int(m.group(1)))
        expand_ms.append(int(m.group(2)))
        m = re.search(r"cpu: read (\d+) ms, expand (\d+) ms", timing)
        read_cpu.append(int(m.group(1)) if m else float("nan"))
        expand_cpu.append(int(m.group(2)) if m else float("nan"))
        return elapsed * 1000.0, cpu

    def run_jinja_process():
        cpu = children_cpu()
        start = time.perf_counter()
        subprocess.run([sys.executable, os.path.join(HERE, "render_jinja.py"), j2_template, data, j2_out], check=True)
        return (time.perf_counter() - start) * 1000.0, children_cpu() - cpu

    tables = render_jinja.load(data)
    with open(j2_template, encoding="utf-8") as f:
        template = render_jinja.environment().from_string(f.read())

    def run_jinja_load():
        cpu = time.process_time()
        start = time.perf_counter()
        render_jinja.load(data)
        return (time.perf_counter() - start) * 1000.0, (time.process_time() - cpu) * 1000.0

    def run_jinja_render():
        cpu = time.process_time()
        start = time.perf_counter()
        template.render(tables=tables)
        return (time.perf_counter() - start) * 1000.0, (time.process_time() - cpu) * 1000.0

    quorvin_process, quorvin_process_cpu = best_of(args.runs, run_quorvin)
    quorvin_expand = min(expand_ms)
    quorvin_expand_cpu = min(expand_cpu)
    quorvin_read = min(read_ms)
    quorvin_read_cpu = min(read_cpu)
    jinja_process, jinja_process_cpu = best_of(args.runs, run_jinja_process)
    jinja_render, jinja_render_cpu = best_of(args.runs, run_jinja_render)
    jinja_load, jinja_load_cpu = best_of(args.runs, run_jinja_load)

    with open(qvn_out, "rb") as a, open(j2_out, "rb") as b:
        same = a.read() == b.read()
    size = os.path.getsize(qvn_out)

    print("data: %d tables x %d columns (%s), output %d bytes, outputs identical: %s"
          % (args.tables, args.columns, data, size, "yes" if same else "NO"))
    print("best of %d runs" % args.runs)
    print("%-18s %12s %12s %10s" % ("", "quorvin", "Jinja2", "Jinja2/quorvin"))
    print("%-18s %9.0f ms %9.1f ms %10.2fx" % ("reading the data", quorvin_read, jinja_load,
                                                jinja_load / max(quorvin_read, 0.5)))
    print("%-18s %9.0f ms %9.1f ms %10.2fx" % ("expansion alone", quorvin_expand, jinja_render,
                                                jinja_render / max(quorvin_expand, 0.5)))
    print("%-18s %9.1f ms %9.1f ms %10.2fx" % ("whole process", quorvin_process, jinja_process,
                                                jinja_process / quorvin_process))
    print("processor time (user + system)")
    print("%-18s %9.0f ms %9.1f ms %10.2fx" % ("reading the data", quorvin_read_cpu, jinja_load_cpu,
                                                jinja_load_cpu / max(quorvin_read_cpu, 0.5)))
    print("%-18s %9.0f ms %9.1f ms %10.2fx" % ("expansion alone", quorvin_expand_cpu, jinja_render_cpu,
                                                jinja_render_cpu / max(quorvin_expand_cpu, 0.5)))
    print("%-18s %9.1f ms %9.1f ms %10.2fx" % ("whole process", quorvin_process_cpu, jinja_process_cpu,
                                                jinja_process_cpu / quorvin_process_cpu))
    if not same:
        sys.exit("compare.py: the outputs differ: %s %s" % (qvn_out, j2_out))


if __name__ == "__main__":
    main()
