package zol.monitoring.share.thread;

/** A Quorvell whose Thread1 has no lock5. */
public class Quorvell {
    /** The type of the two lock fields. */
    public static class CustomLock {
        private final String name;

        public CustomLock(String name) {
            this.name = name;
        }

        @Override
        public String toString() {
            return name;
        }
    }

    // Thread1 is an inner class, which cannot have a static initializer
    // before Java 16; every Thread1 needs a Quorvell, so this one runs first.
    static {
        System.loadLibrary("Quorvell");
    }

    public class Thread1 extends Thread {
        public CustomLock lock4 = new CustomLock("lock4");
        /** Calls of C so far. */
        public int calls;
        /** Whether this thread owned lock4 and lock5 during the last C. */
        public boolean ownedLock4InC;
        public boolean ownedLock5InC;
        /** Run inside C, while both monitors are owned; may throw. */
        public Runnable inC;

        public native void B();

        public void C() {
            calls++;
            ownedLock4InC = Thread.holdsLock(lock4);
            if (inC != null) {
                inC.run();
            }
        }

        @Override
        public void run() {
            B();
        }
    }
}
