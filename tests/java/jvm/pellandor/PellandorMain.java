import java.lang.reflect.Field;

/**
 * Runs the named field watch scenarios in order, in a JVM started with (or,
 * for "noagent", without) the Pellandor agent, printing what the Java side
 * sees between the agent's own lines. Watches are never cleared, so each
 * scenario uses fields that the ones before it left alone.
 */
public class PellandorMain {
    static final Thread self = Thread.currentThread();

    static void p(String line) {
        System.out.println(line);
        System.out.flush();
    }

    static Field field(Class<?> klass, String name) throws Exception {
        return klass.getField(name);
    }

    static void onOtherThread(Runnable r) throws InterruptedException {
        Thread t = new Thread(r);
        t.start();
        t.join();
    }

    public static void main(String[] args) throws Exception {
        for (String scenario : args) {
            p("== " + scenario);
            switch (scenario) {
                case "noagent":
                    p("init: " + Pellandor.initWatchers(Pellandor.class, field(Pellandor.class, "x"), self));
                    break;
                case "events":
                    events();
                    break;
                case "graph":
                    graph();
                    break;
                case "maps":
                    maps();
                    break;
                case "chain":
                    chain(Integer.parseInt(System.getProperty("chain", "50000")));
                    break;
                default:
                    throw new IllegalArgumentException(scenario);
            }
        }
        p("== end");
    }

    static void events() throws Exception {
        Pellandor t = new Pellandor();
        p("init x: " + Pellandor.initWatchers(Pellandor.class, field(Pellandor.class, "x"), self));
        p("init x again: " + Pellandor.initWatchers(Pellandor.class, field(Pellandor.class, "x"), self));
        p("init y: " + Pellandor.initWatchers(Pellandor.class, field(Pellandor.class, "y"), self));
        t.writeX(t.readX() + 1);
        p("before startTest: " + t.x_access + " " + t.x_modify);
        p("startTest: " + Pellandor.startTest(t));
        // A null object starts no test: t's test goes on.
        p("startTest null: " + Pellandor.startTest(null));
        t.readX();
        p("x_access " + t.x_access + ", x_modify " + t.x_modify);
        t.writeX(7);
        p("x_access " + t.x_access + ", x_modify " + t.x_modify);
        // No flag fields for y: the line only, and no exception left over.
        p("y " + t.readY());
        p("generic " + t.readXGeneric("s"));
        t.x_access = false;
        t.x_modify = false;
        onOtherThread(() -> t.writeX(t.readX() + 1));
        p("other thread: x_access " + t.x_access + ", x_modify " + t.x_modify);
        Pellandor.stopTest();
        t.writeX(t.readX() + 1);
        p("after stopTest: x_access " + t.x_access + ", x_modify " + t.x_modify);
    }

    /** How many distinct files named libPellandor.so this process has mapped. */
    static void maps() throws Exception {
        Pellandor.stopTest(); // loads the library
        java.util.Set<String> files = new java.util.TreeSet<>();
        for (String line : java.nio.file.Files.readAllLines(java.nio.file.Paths.get("/proc/self/maps"))) {
            String[] f = line.trim().split("\\s+");
            if (f.length >= 6 && f[5].endsWith("/libPellandor.so")) {
                files.add(f[3] + " " + f[4]);
            }
        }
        p("libPellandor.so images: " + files.size());
    }

    static void graph() throws Exception {
        Pellandor t = new Pellandor();
        Pellandor.Leaf leaf = new Pellandor.Leaf();
        Pellandor.Node.shared = leaf;
        p("init ref: " + Pellandor.initWatchers(Pellandor.class, field(Pellandor.class, "ref"), self));
        Pellandor.Node a = new Pellandor.Node(1);
        a.items = new Pellandor.Item[] {new Pellandor.Item()};
        // Stored on another thread with no test running: the walk still runs.
        onOtherThread(() -> t.store(a));
        Pellandor.startTest(t);
        p("a.value " + Pellandor.value(a));
        p("value_access " + t.value_access + ", leaf_access " + t.leaf_access);
        p("item " + Pellandor.item(a));
        t.value_access = false;
        t.leaf_access = false;
        Pellandor.Node b = new Pellandor.Node(2);
        Pellandor.Node c = new Pellandor.Node(3);
        Pellandor.stopTest();
        // Node.next is watched now, so these stores walk too; they close a cycle.
        b.next = c;
        c.next = b;
        b.other = a;
        t.store(b);
        Pellandor.startTest(t);
        p("c.value " + Pellandor.value(c) + ", leaf " + Pellandor.leaf(leaf));
        p("value_access " + t.value_access + ", value_modify " + t.value_modify + ", leaf_access " + t.leaf_access);
        Pellandor.stopTest();
        // Eight nodes, each holding the next in both next and other: the walk
        // follows each reference, so it reaches 255 paths. Hung below the
        // cycle and walked twice: the second walk must meet every object as
        // the first did.
        b.other = tree(1, 8);
        Pellandor.startTest(t);
        for (int walk = 1; walk <= 2; walk++) {
            t.store(b);
            p("walk " + walk);
        }
        Pellandor.stopTest();
    }

    static Pellandor.Node tree(int value, int depth) {
        Pellandor.Node n = new Pellandor.Node(value);
        if (depth > 1) {
            n.next = tree(2 * value, depth - 1);
            n.other = n.next;
        }
        return n;
    }

    static void chain(int length) throws Exception {
        Pellandor t = new Pellandor();
        p("init ref: " + Pellandor.initWatchers(Pellandor.class, field(Pellandor.class, "ref"), self));
        Pellandor.Chain head = null;
        for (int i = 0; i < length; i++) {
            Pellandor.Chain c = new Pellandor.Chain();
            c.next = head;
            head = c;
        }
        long start = System.nanoTime();
        t.store(head);
        p("chain of " + length + " stored");
        System.err.println("walk took " + (System.nanoTime() - start) / 1000000 + " ms");
    }
}
