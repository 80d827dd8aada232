"""Times building the spatial matrix and resolving relational and ordinal targets.

A generated page of N records (default 10,000) laid out as a form: each row has a
label (a text element), an input and two buttons, with a product card of a title
and an "Add to cart" button every tenth row. The anchors sit near the end of the
page, so every pass looks at every entry.

    .venv/bin/python bench/bench_spatial.py [--entries 10000] [--repeat 20]
"""

import argparse
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "python"))

from marrowlane_web.engine.spatial.grid_builder import GridBuilder  # noqa: E402
from marrowlane_web.engine.spatial.grid_resolver import GridResolver  # noqa: E402


def record(tag, text, x, y, w, h, xpath, **attributes):
    return {"tag": tag, "text": text, "attributes": attributes,
            "bounding_box": {"x": float(x), "y": float(y), "width": float(w), "height": float(h)},
            "is_visible": True, "is_enabled": True, "xpath": xpath}


def generate(n):
    elements, texts = [], []
    row = 0
    while len(elements) + len(texts) < n:
        y = 40 * row
        base = f"/html[1]/body[1]/form[1]/div[{row + 1}]"
        texts.append(record("label", f"Field {row}", 10, y, 80, 20, base + "/label[1]"))
        elements.append(record("input", "", 100, y, 200, 22, base + "/input[1]",
                               _label=f"Field {row}", placeholder=f"Value {row}",
                               name=f"field{row}"))
        elements.append(record("button", "Check", 320, y, 90, 22, base + "/button[1]"))
        elements.append(record("button", "Clear", 420, y, 90, 22, base + "/button[2]"))
        if row % 10 == 0:
            texts.append(record("h3", f"Product {row}", 600, y, 150, 20, base + "/h3[1]"))
            elements.append(record("button", "Add to cart", 600, y + 22, 100, 18,
                                   base + "/button[3]"))
        row += 1
    return elements, texts, row


def timed(label, repeat, call):
    """Wall and CPU time per call (CPU time is the steadier on a busy machine)."""
    call()  # warm up
    wall, cpu = time.perf_counter(), time.process_time()
    for _ in range(repeat):
        call()
    wall = (time.perf_counter() - wall) / repeat
    cpu = (time.process_time() - cpu) / repeat
    print(f"{label:<44} {wall * 1e3:9.3f} ms/call wall {cpu * 1e3:9.3f} ms/call cpu")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--entries", type=int, default=10_000)
    parser.add_argument("--repeat", type=int, default=20)
    args = parser.parse_args()

    elements, texts, rows = generate(args.entries)
    builder = GridBuilder(elements, texts)
    matrix = builder.build()
    print(f"{len(matrix)} entries ({len(elements)} elements, {len(texts)} texts)")
    timed("GridBuilder.build", args.repeat, builder.build)

    resolver = GridResolver(matrix)
    last = rows - 1
    product = (last // 10) * 10
    targets = [
        f"button next to Field {last}",
        f"2nd button next to Field {last}",
        f"field below Field {last - 5}",
        f"Add to cart near Product {product}",
        "button left of Clear",
        "second Add to cart",
        "fifth button",
    ]
    for target in targets:
        result = resolver.resolve({"target": target})
        assert result["resolved"], target
        timed(f"resolve {target!r}", args.repeat, lambda t=target: resolver.resolve({"target": t}))


if __name__ == "__main__":
    main()
